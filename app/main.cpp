#include "runtime/form.h"
#include "ui/frmPellicar.h"

int main(int argc, char* argv[]) {
  runtime::Application app(argc, argv);
  frmPellicar window;
  window.show();
  return app.run(window);
}
