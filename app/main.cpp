#include "runtime/form.h"
#include "ui/frmPellicar.h"

int main(int argc, char* argv[]) {
  runtime::Application app(argc, argv);
  // A file or a folder to open on, as a file manager passes it; any further ones are ignored.
  if (const auto arguments = app.arguments(); !arguments.empty()) runtime::StartListsIn(arguments.front());
  frmPellicar window;
  window.show();
  return app.run(window);
}
