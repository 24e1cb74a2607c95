// The file list: a list box with extended selection, filled in our own name order.
#include <windows.h>

#include <commctrl.h>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime {
namespace backend {

PeerPtr MakeFileList(Form& form) {
  return PeerPtr(new Peer(form, WC_LISTBOXW,
                          LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
                          WS_EX_CLIENTEDGE));
}

void ShowFiles(Peer& peer, const std::vector<std::u16string>& names) {
  const HWND list = peer.hwnd();
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  std::size_t characters = 0;
  for (const auto& name : names) characters += name.size() + 1;
  SendMessageW(list, LB_INITSTORAGE, names.size(), characters * sizeof(wchar_t));
  for (const auto& name : names) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToNative(name).c_str()));
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

bool IsFileSelected(const Peer& peer, int index) {
  return SendMessageW(peer.hwnd(), LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
}

void SelectFile(Peer& peer, int index, bool selected) { SendMessageW(peer.hwnd(), LB_SETSEL, selected, index); }

}  // namespace backend
}  // namespace runtime
