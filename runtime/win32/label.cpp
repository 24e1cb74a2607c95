// A label: a static control that takes no focus and shows its text as it is.
#include <windows.h>

#include <commctrl.h>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime::backend {

PeerPtr MakeLabel(Form& form) { return PeerPtr(new Peer(form, WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS)); }

}  // namespace runtime::backend
