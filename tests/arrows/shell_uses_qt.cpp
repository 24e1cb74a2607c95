// Must not build: what pellicar-shell.dll reads with knows nothing of Qt.
#include <QtCore/QString>
