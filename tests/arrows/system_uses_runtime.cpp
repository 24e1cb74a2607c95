// Must not build: the system layer knows nothing of the runtime above it.
#include "runtime/error.h"
