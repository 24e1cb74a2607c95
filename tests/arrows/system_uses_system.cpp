// Builds: a layer includes its own headers.
#include "system/directory.h"
