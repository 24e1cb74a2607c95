#include <QApplication>

#include "ui/frmPellicar.h"
#include "ui/version.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("pellicar-gui"));
  QApplication::setApplicationVersion(QStringLiteral(PELLICAR_VERSION));
  frmPellicar window;
  window.show();
  return QApplication::exec();
}
