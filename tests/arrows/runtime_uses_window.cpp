// Must not build: the runtime knows nothing of the window built on it.
#include "ui/frmPellicar.h"
