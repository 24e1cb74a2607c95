// Must not build: the system layer knows nothing of Qt.
#include <QtCore/QString>
