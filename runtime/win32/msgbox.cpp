// The message box: the system's, owned by the form.
#include <windows.h>

#include <algorithm>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime::backend {

// In the message font at the resolution of the form's screen, at which the box shows.
int MessageRowsOnScreen() {
  const HWND form = win32::ShownForm();
  MONITORINFO screen{};
  screen.cbSize = sizeof screen;
  GetMonitorInfoW(MonitorFromWindow(form, MONITOR_DEFAULTTOPRIMARY), &screen);
  const HFONT font = win32::MessageFont(form ? Form::Peer::Of(form)->dpi() : win32::DpiOf(nullptr));
  HDC dc = GetDC(form);
  const HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW text{};
  GetTextMetricsW(dc, &text);
  SelectObject(dc, old);
  ReleaseDC(form, dc);
  DeleteObject(font);
  return (screen.rcWork.bottom - screen.rcWork.top) / std::max<int>(text.tmHeight + text.tmExternalLeading, 1);
}

// The box is owned by the form, which it disables while it shows, also when the program
// is not in the foreground and has no active window.
void ShowMessageBox(const Message& message) {
  const UINT icon = message.icon == MsgBoxIcon::kCritical ? MB_ICONERROR : MB_ICONWARNING;
  MessageBoxW(win32::ShownForm(), ToNative(message.text).c_str(), ToNative(message.title).c_str(),
              MB_OK | icon | MB_SETFOREGROUND);
}

}  // namespace runtime::backend
