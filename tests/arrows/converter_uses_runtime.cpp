// Must not build: the converter knows nothing of the window's runtime.
#include "runtime/error.h"
