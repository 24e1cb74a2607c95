// A label: one line of text that takes no focus.
#include <QLabel>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime::backend {

PeerPtr MakeLabel(Form& form) {
  auto* label = new QLabel(&form.peer());
  label->setTextFormat(Qt::PlainText);
  label->setFocusPolicy(Qt::NoFocus);
  return PeerPtr(new Peer(label));
}

}  // namespace runtime::backend
