// The application: Qt's, its event loop and DoEvents.
#include <QApplication>

#include "runtime/busy.h"
#include "runtime/form.h"
#include "runtime/strings.h"

namespace runtime {

struct Application::Native {
  // QApplication takes out the arguments that are Qt's; the bytes of the rest are kept,
  // not QApplication::arguments(), which loses names that are not valid text.
  Native(int& argc, char** argv) : app(argc, argv) {
    for (int i = 1; i < argc; ++i) arguments.push_back(FromNative(argv[i]));
  }
  QApplication app;
  std::vector<std::u16string> arguments;
};

Application::Application(int& argc, char** argv) : native_(std::make_unique<Native>(argc, argv)) {}

Application::~Application() = default;

int Application::run(Form&) { return QApplication::exec(); }

std::vector<std::u16string> Application::arguments() const { return native_->arguments; }

void DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace runtime
