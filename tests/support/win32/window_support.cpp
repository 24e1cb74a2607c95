#include "support/window_support.h"

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <map>
#include <vector>

#include "runtime/busy.h"
#include "runtime/win32/peer.h"

namespace testing_support {
namespace {

HWND Handle(const runtime::Control& control) { return control.peer().hwnd(); }
HWND Handle(const runtime::Form& form) { return form.peer().hwnd(); }

std::map<UINT_PTR, std::function<void()>> gTimers;  // what After runs, by timer

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  auto action = std::move(gTimers[id]);
  gTimers.erase(id);
  if (action) action();
}

constexpr BYTE kKeys[] = {VK_TAB, VK_RETURN, VK_ESCAPE, VK_HOME, VK_END, VK_SPACE};

// A mouse message in the middle of the window, as the system posts it.
void PostMouse(HWND window, UINT message, POINT at) {
  PostMessageW(window, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(at.x, at.y));
}

Rect ClientSizeOf(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  return {0, 0, client.right, client.bottom};
}

}  // namespace

bool ShowAndActivate(runtime::Form& form) {
  form.show();
  SetForegroundWindow(Handle(form));
  SetActiveWindow(Handle(form));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (GetActiveWindow() != Handle(form) && std::chrono::steady_clock::now() < deadline) ProcessEvents(10);
  ProcessEvents();
  return GetActiveWindow() == Handle(form);
}

void ProcessEvents(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  do {
    runtime::DoEvents();
    if (milliseconds > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (std::chrono::steady_clock::now() < end);
  runtime::DoEvents();
}

void After(int milliseconds, std::function<void()> action) {
  const UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(milliseconds), OnTimer);
  gTimers[id] = std::move(action);
}

// As the keyboard sends it, through the system's input queue.
void PressKey(Key key) {
  if (key == Key::kShiftEnd) keybd_event(VK_SHIFT, 0, 0, 0);
  keybd_event(kKeys[static_cast<int>(key)], 0, 0, 0);
  keybd_event(kKeys[static_cast<int>(key)], 0, KEYEVENTF_KEYUP, 0);
  if (key == Key::kShiftEnd) keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
  ProcessEvents(20);
}

void Click(runtime::Control& control) {
  const Rect client = ClientSizeOf(Handle(control));
  const POINT middle{client.width / 2, client.height / 2};
  for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP}) PostMouse(Handle(control), message, middle);
}

void PickDrive(runtime::DriveListBox& list, const std::u16string& designation) {
  SendMessageW(Handle(list), CB_SHOWDROPDOWN, TRUE, 0);
  for (int i = 0; i < list.listCount(); ++i) {
    if (!designation.empty() && list.list(i) == designation) SendMessageW(Handle(list), CB_SETCURSEL, i, 0);
  }
  SendMessageW(Handle(list), CB_SHOWDROPDOWN, FALSE, 0);
  ProcessEvents();
}

void DoubleClickDirectory(runtime::DirListBox& list, int index) {
  RECT line{};
  SendMessageW(Handle(list), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&line));
  const POINT middle{(line.left + line.right) / 2, (line.top + line.bottom) / 2};
  for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    PostMouse(Handle(list), message, middle);
  ProcessEvents();
}

int Dpi(const runtime::Form& form) { return form.peer().dpi(); }

bool ChangeDpi(runtime::Form& form, int dpi) {
  RECT suggested;
  GetWindowRect(Handle(form), &suggested);
  SendMessageW(Handle(form), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  return true;
}

Rect ClientSize(const runtime::Form& form) { return ClientSizeOf(Handle(form)); }

bool Resizable(const runtime::Form& form) {
  const auto style = GetWindowLongPtrW(Handle(form), GWL_STYLE);
  return (style & WS_THICKFRAME) || (style & WS_MAXIMIZEBOX);
}

bool HasIcons(const runtime::Form& form) {
  const auto sized = [&](WPARAM which, int pixels) {
    ICONINFO info{};
    const auto icon = reinterpret_cast<HICON>(SendMessageW(Handle(form), WM_GETICON, which, 0));
    if (!icon || !GetIconInfo(icon, &info)) return false;
    BITMAP mask{};
    GetObjectW(info.hbmMask, sizeof mask, &mask);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);  // none for a monochrome icon: harmless
    return mask.bmWidth == MulDiv(pixels, Dpi(form), runtime::kStandardDpi);
  };
  return sized(ICON_SMALL, 16) && sized(ICON_BIG, 32);
}

Rect Geometry(const runtime::Control& control) {
  RECT r;
  GetWindowRect(Handle(control), &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(Handle(control)), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

Rect PictureSize(const runtime::PictureBox& picture) {
  const auto bitmap = reinterpret_cast<HBITMAP>(SendMessageW(Handle(picture), STM_GETIMAGE, IMAGE_BITMAP, 0));
  BITMAP size{};
  if (!bitmap || !GetObjectW(bitmap, sizeof size, &size)) return {};
  return {0, 0, size.bmWidth, size.bmHeight};
}

Rect PictureRoom(const runtime::PictureBox& picture) { return ClientSizeOf(Handle(picture)); }

bool BusyCursorShown() { return GetCursor() == LoadCursorW(nullptr, IDC_WAIT); }

std::shared_ptr<void> ActivateAnotherWindow() {
  const HWND other = CreateWindowExW(0, WC_STATICW, L"another window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                     nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(other);
  SetActiveWindow(other);
  ProcessEvents(50);
  return std::shared_ptr<void>(other, [](void* window) { DestroyWindow(static_cast<HWND>(window)); });
}

namespace {

LRESULT CALLBACK CaptionWatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if (message == WM_SETTEXT && lParam) {
    const auto* text = reinterpret_cast<const wchar_t*>(lParam);
    (*reinterpret_cast<std::function<void(const std::u16string&)>*>(data))(runtime::FromNative(text));
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

bool WithinScreen(HWND box) {
  RECT shown, both;
  MONITORINFO screen{sizeof screen, {}, {}, 0};
  GetWindowRect(box, &shown);
  GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &screen);
  return IntersectRect(&both, &shown, &screen.rcWork) && EqualRect(&both, &shown);
}

bool ModalToForm(HWND box) {
  const HWND owner = GetWindow(box, GW_OWNER);
  wchar_t name[64] = {};
  return owner && GetClassNameW(owner, name, 64) && std::wstring_view(name) == runtime::win32::kFormClass &&
         !IsWindowEnabled(owner);
}

bool ShowsWarningIcon(HWND box) {
  const HICON warning = LoadIconW(nullptr, IDI_WARNING);
  for (int id : {0x14, 0x440}) {  // the icon's id: Windows's, Wine's
    if (HWND icon = GetDlgItem(box, id);
        icon && reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)) == warning)
      return true;
  }
  return false;
}

}  // namespace

void WatchCaption(runtime::Form& form, std::function<void(const std::u16string&)> seen) {
  // Kept for the life of the test program: the form may outlive the caller's frame.
  auto* watcher = new std::function<void(const std::u16string&)>(std::move(seen));
  SetWindowSubclass(Handle(form), CaptionWatch, 1, reinterpret_cast<DWORD_PTR>(watcher));
}

std::optional<ShownMessage> CloseMessageBox(Key key) {
  const HWND box = FindWindowW(L"#32770", nullptr);  // a dialog box's class
  if (!box || !IsWindowVisible(box)) return std::nullopt;
  std::wstring title(256, L'\0'), text(4096, L'\0');
  title.resize(GetWindowTextW(box, title.data(), static_cast<int>(title.size())));
  text.resize(GetDlgItemTextW(box, 0xFFFF, text.data(), static_cast<int>(text.size())));
  ShownMessage seen{runtime::FromNative(title), runtime::FromNative(text), ShowsWarningIcon(box), true, false,
                    WithinScreen(box),          ModalToForm(box)};
  // As the box's own message loop hands it a key.
  MSG press{GetFocus() ? GetFocus() : box, WM_KEYDOWN, kKeys[static_cast<int>(key)], 0, 0, {0, 0}};
  IsDialogMessageW(box, &press);
  seen.closedByKey = !IsWindowVisible(box);
  if (!seen.closedByKey) EndDialog(box, IDOK);  // so that the test goes on, and fails
  return seen;
}

}  // namespace testing_support
