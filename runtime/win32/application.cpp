// The event loop, DoEvents and the busy state, and what the form and the controls share.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "peer.h"
#include "runtime/busy.h"
#include "runtime/common/backend.h"
#include "runtime/form.h"

namespace runtime {
namespace win32 {
namespace {

int gBusy = 0;

bool IsOurForm(HWND hwnd) {
  wchar_t name[64] = {};
  return hwnd && GetClassNameW(hwnd, name, 64) && std::wstring_view(name) == kFormClass;
}

// What still reaches a busy form: a click on its close box and Alt+F4.
bool ClosesAForm(const MSG& message) {
  switch (message.message) {
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP: return message.wParam == HTCLOSE;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: return message.wParam == VK_F4;
    default: return false;
  }
}

bool IsInput(const MSG& message) {
  const UINT m = message.message;
  return (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
         (m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK);
}

BOOL CALLBACK FindShownForm(HWND window, LPARAM found) {
  if (!IsOurForm(window) || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

}  // namespace

HWND ShownForm() {
  HWND form = GetActiveWindow();
  if (IsOurForm(form)) return form;
  form = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindShownForm, reinterpret_cast<LPARAM>(&form));
  return form;
}

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

int DpiOf(HWND hwnd) {
  static const auto forWindow = FromUser32<decltype(GetDpiForWindow)>("GetDpiForWindow");
  if (hwnd && forWindow) return static_cast<int>(forWindow(hwnd));
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

int MetricAt(int metric, int dpi) {
  static const auto forDpi = FromUser32<decltype(GetSystemMetricsForDpi)>("GetSystemMetricsForDpi");
  if (forDpi) return forDpi(metric, static_cast<UINT>(dpi));
  return MulDiv(GetSystemMetrics(metric), dpi, DpiOf(nullptr));
}

void RegisterClasses() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = Form::Peer::WindowProc;
    form.hInstance = Instance();
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kFormClass;
    return RegisterClassExW(&form) != 0;
  }();
  (void)registered;
}

bool Busy() { return gBusy > 0; }

void Dispatch(MSG& message) {
  if (Busy() && IsInput(message) && !ClosesAForm(message)) return;
  const HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (IsOurForm(root) && IsDialogMessageW(root, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace win32

struct Application::Native {};

Application::Application(int&, char**) { win32::RegisterClasses(); }

Application::~Application() = default;

// From the command line in UTF-16: the narrow one that main is given loses names.
std::vector<std::u16string> Application::arguments() const {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::u16string> arguments;
  for (int i = 1; words && i < count; ++i) arguments.push_back(win32::FromWide(words[i]));
  LocalFree(words);
  return arguments;
}

int Application::run(Form& form) {
  MSG message;
  while (form.visible() && GetMessageW(&message, nullptr, 0, 0) > 0) win32::Dispatch(message);
  return 0;
}

void DoEvents() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    win32::Dispatch(message);
  }
}

namespace backend {

void BeginBusy(Form&) {
  ++win32::gBusy;
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
  --win32::gBusy;
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  POINT cursor;
  GetCursorPos(&cursor);
  SetCursorPos(cursor.x, cursor.y);  // the window under it sets its own cursor again
}

int MessageRowsOnScreen() {
  const HWND form = win32::ShownForm();
  MONITORINFO screen{};
  screen.cbSize = sizeof screen;
  GetMonitorInfoW(MonitorFromWindow(form, MONITOR_DEFAULTTOPRIMARY), &screen);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
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
  MessageBoxW(win32::ShownForm(), win32::Wide(message.text).c_str(), win32::Wide(message.title).c_str(),
              MB_OK | icon | MB_SETFOREGROUND);
}

}  // namespace backend
}  // namespace runtime
