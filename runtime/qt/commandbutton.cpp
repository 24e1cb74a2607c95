// The Convert button: a push button that is never the default one.
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

}  // namespace runtime::backend
