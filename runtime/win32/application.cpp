// The application: the event loop and DoEvents, and what the form and the controls share.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>

#include "peer.h"
#include "runtime/busy.h"
#include "runtime/common/backend.h"
#include "runtime/form.h"

namespace runtime {
namespace win32 {
namespace {

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
  for (int i = 1; words && i < count; ++i) arguments.push_back(FromNative(words[i]));
  LocalFree(words);
  return arguments;
}

// Until the WM_QUIT that the form's WM_DESTROY posts, as in any Win32 program.
int Application::run(Form& form) {
  if (!form.peer().hwnd()) return EXIT_FAILURE;  // it could not be made
  form.peer().endsTheProgram();
  MSG message{};
  BOOL got = 0;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) win32::Dispatch(message);
  return got < 0 ? EXIT_FAILURE : static_cast<int>(message.wParam);
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

}  // namespace runtime
