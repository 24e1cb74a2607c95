// The Convert button: a plain push button, never the default one.
#include <windows.h>

#include <commctrl.h>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime {
namespace {

class ButtonPeer : public Control::Peer {
 public:
  ButtonPeer(Form& form, std::function<void()> onClick)
      : Peer(form, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP), onClick_(std::move(onClick)) {}

  void command(int code) override {
    if (code == BN_CLICKED) onClick_();
  }

 private:
  std::function<void()> onClick_;
};

}  // namespace

namespace backend {

PeerPtr MakeButton(Form& form, std::function<void()> onClick) {
  return PeerPtr(new ButtonPeer(form, std::move(onClick)));
}

}  // namespace backend
}  // namespace runtime
