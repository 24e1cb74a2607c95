// The form: a window with a fixed size, a title and an icon, and no maximise button.
#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

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

namespace backend {

void Place(Form&, Peer& peer, const TwipsRect& rect) {
  peer.widget()->setGeometry(Pixels(rect.left), Pixels(rect.top), Pixels(rect.width), Pixels(rect.height));
}

void Focus(Peer& peer) { peer.widget()->setFocus(); }

bool HasFocus(const Peer& peer) { return peer.widget()->hasFocus(); }

// A button's or a label's text.
void SetText(Peer& peer, const std::u16string& text) {
  if (auto* button = qobject_cast<QPushButton*>(peer.widget())) return button->setText(qt::ToQString(text));
  if (auto* label = qobject_cast<QLabel*>(peer.widget())) label->setText(qt::ToQString(text));
}

}  // namespace backend
}  // namespace runtime
