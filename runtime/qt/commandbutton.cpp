// The Convert button: a push button that is never the default one.
#include <QLabel>
#include <QPushButton>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime::backend {

PeerPtr MakeButton(Form& form, std::function<void()> onClick) {
  auto* button = new QPushButton(&form.peer());
  button->setAutoDefault(false);
  button->setDefault(false);
  QObject::connect(button, &QPushButton::clicked, button, std::move(onClick));
  return PeerPtr(new Peer(button));
}

// A button's or a label's text.
void SetText(Peer& peer, const std::u16string& text) {
  if (auto* button = qobject_cast<QPushButton*>(peer.widget())) return button->setText(qt::ToQString(text));
  if (auto* label = qobject_cast<QLabel*>(peer.widget())) label->setText(qt::ToQString(text));
}

}  // namespace runtime::backend
