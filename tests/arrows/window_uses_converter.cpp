// Must not build: the window runs the converter as a program, never its code.
#include "converter/convert.h"
