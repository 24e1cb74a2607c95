#include "runtime/control.h"

#include "backend.h"

namespace runtime {

Control::Control(Form& form, PeerPtr peer) : form_(form), peer_(std::move(peer)) {}

Control::~Control() = default;

void Control::move(const TwipsRect& rect) {
  placement_ = rect;
  backend::Place(form_, *peer_, rect);
}

void Control::setFocus() { backend::Focus(*peer_); }

bool Control::hasFocus() const { return backend::HasFocus(*peer_); }

}  // namespace runtime
