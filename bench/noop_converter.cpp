// A converter that does nothing, so that a batch measures the front end alone.
int main() { return 0; }
