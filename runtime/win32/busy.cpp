// The busy state: the dispatcher drops input while the count is above 0, and the wait
// cursor shows.
#include <windows.h>

#include <utility>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime {
namespace {

int gBusy = 0;

}  // namespace

bool win32::Busy() { return gBusy > 0; }

namespace backend {

void BeginBusy(Form&) {
  ++gBusy;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void EndBusy(Form&) {
  // Input already queued goes the way of the rest: dropped, all but a request to close.
  MSG message;
  for (auto [first, last] : {std::pair<UINT, UINT>{WM_KEYFIRST, WM_KEYLAST},
                             {WM_MOUSEFIRST, WM_MOUSELAST},
                             {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}}) {
    while (PeekMessageW(&message, nullptr, first, last, PM_REMOVE)) win32::Dispatch(message);
  }
  --gBusy;
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  POINT cursor;
  GetCursorPos(&cursor);
  SetCursorPos(cursor.x, cursor.y);  // the window under it sets its own cursor again
}

}  // namespace backend
}  // namespace runtime
