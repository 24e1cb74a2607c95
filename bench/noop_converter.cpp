// A converter that does nothing, so that a batch measures the front end alone; given
// PELLICAR_BENCH_SLEEP_MS it takes that long to do it.
#include <chrono>
#include <cstdlib>
#include <thread>

int main() {
  if (const char* ms = std::getenv("PELLICAR_BENCH_SLEEP_MS"))
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(ms)));
  return 0;
}
