// The drive list: a drop-down-list combo box. A pick counts when the list closes on it,
// or at once when the arrow keys move the closed list.
#include <windows.h>

#include <commctrl.h>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime {
namespace {

class DriveListPeer : public Control::Peer {
 public:
  DriveListPeer(Form& form, std::function<void(int)> onPick, std::function<void()> onDropDown)
      : Peer(form, WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
        onPick_(std::move(onPick)),
        onDropDown_(std::move(onDropDown)) {}

  // The height given is the closed list's; the open list drops below it, eight lines long.
  void place(const RECT& pixels) override {
    closedHeight_ = pixels.bottom - pixels.top;
    RECT open = pixels;
    open.bottom = open.top + closedHeight_ * 8;
    Peer::place(open);
    fitClosedHeight();
  }

  void fontChanged() override { fitClosedHeight(); }

  void command(int code) override {
    const bool dropped = SendMessageW(hwnd(), CB_GETDROPPEDSTATE, 0, 0);
    switch (code) {
      case CBN_DROPDOWN: onDropDown_(); break;
      case CBN_SELCHANGE:
        if (!dropped) pick();
        break;
      case CBN_SELENDOK:
      case CBN_CLOSEUP: pick(); break;
    }
  }

 private:
  void pick() { onPick_(static_cast<int>(SendMessageW(hwnd(), CB_GETCURSEL, 0, 0))); }

  // The closed list is as high as its selection field plus its border.
  void fitClosedHeight() {
    if (closedHeight_ <= 0) return;
    for (int attempt = 0; attempt < 2; ++attempt) {
      RECT now;
      GetWindowRect(hwnd(), &now);
      const int field = static_cast<int>(SendMessageW(hwnd(), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
      const int wanted = field + closedHeight_ - (now.bottom - now.top);
      if (wanted == field || wanted <= 0) return;
      SendMessageW(hwnd(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), wanted);
    }
  }

  std::function<void(int)> onPick_;
  std::function<void()> onDropDown_;
  int closedHeight_ = 0;
};

}  // namespace

namespace backend {

PeerPtr MakeDriveList(Form& form, std::function<void(int)> onPick, std::function<void()> onDropDown) {
  return PeerPtr(new DriveListPeer(form, std::move(onPick), std::move(onDropDown)));
}

void ShowDrives(Peer& peer, const std::vector<std::u16string>& designations, int current) {
  SendMessageW(peer.hwnd(), CB_RESETCONTENT, 0, 0);
  for (const auto& designation : designations)
    SendMessageW(peer.hwnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToNative(designation).c_str()));
  SendMessageW(peer.hwnd(), CB_SETCURSEL, static_cast<WPARAM>(current), 0);
}

}  // namespace backend
}  // namespace runtime
