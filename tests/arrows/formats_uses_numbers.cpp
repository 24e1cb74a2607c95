// Builds: the codecs write numbers in messages by the system layer's rule.
#include "system/number_text.h"
