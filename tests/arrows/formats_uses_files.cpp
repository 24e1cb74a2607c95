// Must not build: the codecs know nothing of files; they take bytes and rows.
#include "system/files.h"
