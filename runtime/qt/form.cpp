// The form: a window with a fixed size, a title and an icon, and no maximise button.
#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>

#include "peer.h"
#include "runtime/common/backend.h"
#include "runtime/strings.h"

namespace runtime {

Form::Peer::Peer(Form& form) : form_(form) {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
}

void Form::Peer::closeEvent(QCloseEvent* event) { form_.keepsOpen() ? event->ignore() : event->accept(); }

void Control::PeerDeleter::operator()(Peer* peer) const { delete peer; }

Form::Form() : peer_(std::make_unique<Peer>(*this)) {}

Form::~Form() = default;

std::u16string Form::caption() const { return qt::FromQString(peer_->windowTitle()); }

void Form::setCaption(const std::u16string& caption) { peer_->setWindowTitle(qt::ToQString(caption)); }

void Form::setClientSize(int widthTwips, int heightTwips) {
  peer_->setFixedSize(Pixels(widthTwips), Pixels(heightTwips));
}

void Form::setIcon(const std::u16string& resource) {
  peer_->setWindowIcon(QIcon(QStringLiteral(":/%1.ico").arg(qt::ToQString(resource))));
}

void Form::setTabOrder(std::initializer_list<Control*> controls) {
  const Control* previous = nullptr;
  for (const Control* control : controls) {
    if (previous) QWidget::setTabOrder(previous->peer().widget(), control->peer().widget());
    previous = control;
  }
  if (controls.size() > 0) (*controls.begin())->setFocus();
}

void Form::show() { peer_->show(); }

bool Form::visible() const { return peer_->isVisible(); }

void Form::close() { peer_->close(); }

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

namespace backend {

void Place(Form&, Peer& peer, const TwipsRect& rect) {
  peer.widget()->setGeometry(Pixels(rect.left), Pixels(rect.top), Pixels(rect.width), Pixels(rect.height));
}

void Focus(Peer& peer) { peer.widget()->setFocus(); }

bool HasFocus(const Peer& peer) { return peer.widget()->hasFocus(); }

namespace {

// The form to own a message box: the active one, else the first shown; null if none.
QWidget* ShownForm() {
  if (auto* form = dynamic_cast<Form::Peer*>(QApplication::activeWindow())) return form;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (dynamic_cast<Form::Peer*>(window) && window->isVisible()) return window;
  }
  return nullptr;
}

}  // namespace

int MessageRowsOnScreen() {
  const QWidget* form = ShownForm();
  const QScreen* screen = form ? form->screen() : QGuiApplication::primaryScreen();
  return screen->availableGeometry().height() / QFontMetrics(QApplication::font("QMessageBox")).lineSpacing();
}

// The box is owned by the form, modal, also when another window is active.
void ShowMessageBox(const Message& message) {
  const auto icon = message.icon == MsgBoxIcon::kCritical ? QMessageBox::Critical : QMessageBox::Warning;
  QMessageBox box(icon, qt::ToQString(message.title), qt::ToQString(message.text), QMessageBox::Ok, ShownForm());
  box.setTextFormat(Qt::PlainText);  // names and the converter's words are never markup
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace backend
}  // namespace runtime
