// The form: a top-level window with a fixed border, a minimise box and no maximise box,
// its client area sized in twips at the window's own resolution.
#include <windowsx.h>

#include "peer.h"
#include "runtime/common/backend.h"
#include "runtime/form.h"

namespace runtime {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// The window's rectangle around a client area of `frame` at `dpi`.
void AddFrame(RECT& frame, int dpi) {
  static const auto forDpi = win32::FromUser32<decltype(AdjustWindowRectExForDpi)>("AdjustWindowRectExForDpi");
  if (forDpi) {
    forDpi(&frame, kStyle, FALSE, 0, static_cast<UINT>(dpi));
  } else {
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  }
}

RECT PixelRect(const TwipsRect& rect, int dpi) {
  const int left = Pixels(rect.left, dpi), top = Pixels(rect.top, dpi);
  return {left, top, left + Pixels(rect.width, dpi), top + Pixels(rect.height, dpi)};
}

}  // namespace

HFONT win32::MessageFont(int dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  static const auto forDpi = win32::FromUser32<decltype(SystemParametersInfoForDpi)>("SystemParametersInfoForDpi");
  if (forDpi) {
    forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
  } else {
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const int systemDpi = win32::DpiOf(nullptr);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, systemDpi);
  }
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

// ---- Form::Peer

Form::Peer::Peer(Form& form) : form_(form) {
  win32::RegisterClasses();
  hwnd_ = CreateWindowExW(0, win32::kFormClass, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                          nullptr, nullptr, win32::Instance(), this);
  dpi_ = win32::DpiOf(hwnd_);
  font_ = win32::MessageFont(dpi_);
}

Form::Peer::~Peer() {
  if (hwnd_) DestroyWindow(hwnd_);
  DeleteObject(font_);
  if (icon_) DestroyIcon(icon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
}

int Form::Peer::add(Control::Peer& control) {
  controls_[nextId_] = &control;
  return nextId_++;
}

void Form::Peer::remove(int id) {
  placements_.erase(controls_[id]);
  controls_.erase(id);
}

Control::Peer* Form::Peer::control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

void Form::Peer::place(Control::Peer& control, const TwipsRect& rect) {
  placements_[&control] = rect;
  control.place(PixelRect(rect, dpi_));
}

void Form::Peer::setClientSize(int widthTwips, int heightTwips) {
  widthTwips_ = widthTwips, heightTwips_ = heightTwips;
  resize();
}

// The frame the system draws may differ from what it computes for a resolution (under
// Wine it keeps the system's): a second pass makes up the difference.
void Form::Peer::resize() {
  const int width = Pixels(widthTwips_, dpi_), height = Pixels(heightTwips_, dpi_);
  RECT frame{0, 0, width, height};
  AddFrame(frame, dpi_);
  for (int pass = 0; pass < 2; ++pass) {
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(hwnd_, &client);
    if (IsIconic(hwnd_) || (client.right == width && client.bottom == height)) return;
    frame.right += width - client.right;
    frame.bottom += height - client.bottom;
  }
}

void Form::Peer::setIcon(const std::u16string& resource) {
  iconResource_ = ToNative(resource);
  loadIcons();
}

// The window's icons in the sizes the system asks for at the form's resolution.
void Form::Peer::loadIcons() {
  if (iconResource_.empty()) return;
  const auto load = [&](int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(win32::Instance(), iconResource_.c_str(), IMAGE_ICON,
                                         win32::MetricAt(widthMetric, dpi_), win32::MetricAt(heightMetric, dpi_),
                                         LR_DEFAULTCOLOR));
  };
  const HICON icon = load(SM_CXICON, SM_CYICON), smallIcon = load(SM_CXSMICON, SM_CYSMICON);
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
  if (icon_) DestroyIcon(icon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
  icon_ = icon, smallIcon_ = smallIcon;
}

void Form::Peer::close() {
  if (form_.keepsOpen()) return;
  if (endsTheProgram_) {
    DestroyWindow(hwnd_);  // as a plain Win32 program's main window: its WM_DESTROY ends the loop
  } else {
    ShowWindow(hwnd_, SW_HIDE);  // kept whole, controls and all, until its form goes
  }
}

void Form::Peer::focus(HWND control) {
  focus_ = control;
  if (GetActiveWindow() == hwnd_) SetFocus(control);
}

void Form::Peer::changeDpi(int dpi, const RECT* suggested) {
  dpi_ = dpi;
  const HFONT old = font_;
  font_ = win32::MessageFont(dpi_);
  for (auto& [control, rect] : placements_) {
    SendMessageW(control->hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    control->fontChanged();
    control->place(PixelRect(rect, dpi_));
  }
  DeleteObject(old);
  loadIcons();
  // Where the system suggests, in the size the twips give at the new resolution.
  if (suggested)
    SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  resize();
}

Form::Peer* Form::Peer::Of(HWND form) { return reinterpret_cast<Peer*>(GetWindowLongPtrW(form, GWLP_USERDATA)); }

LRESULT CALLBACK Form::Peer::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* peer = static_cast<Peer*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    peer->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
  }
  auto* peer = Of(hwnd);
  return peer ? peer->handle(message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Form::Peer::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      // IDOK and IDCANCEL come from Enter and Escape: the form has no default button.
      if (auto* target = lParam ? control(LOWORD(wParam)) : nullptr) target->command(HIWORD(wParam));
      return 0;
    case WM_DRAWITEM:
      if (auto* target = control(static_cast<int>(wParam)))
        target->drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE && IsChild(hwnd_, GetFocus())) focus_ = GetFocus();
      break;
    case WM_SETFOCUS:
      if (focus_ && IsChild(hwnd_, focus_)) SetFocus(focus_);
      return 0;
    case WM_CLOSE: close(); return 0;
    case WM_SETCURSOR:
      if (!win32::Busy()) break;
      SetCursor(LoadCursorW(nullptr, IDC_WAIT));
      return TRUE;
    case WM_DPICHANGED: changeDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_DESTROY:
      if (endsTheProgram_) PostQuitMessage(0);
      break;
    case WM_NCDESTROY: {  // the last message, after the controls' windows are gone
      const HWND gone = hwnd_;
      SetWindowLongPtrW(gone, GWLP_USERDATA, 0);
      for (auto& [id, control] : controls_) control->windowGone();
      hwnd_ = nullptr;
      return DefWindowProcW(gone, message, wParam, lParam);
    }
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

// ---- Control::Peer

void Control::PeerDeleter::operator()(Peer* peer) const { delete peer; }

Control::Peer::Peer(Form& form, const wchar_t* windowClass, DWORD style, DWORD exStyle)
    : form_(form.peer()), id_(form_.add(*this)) {
  hwnd_ = CreateWindowExW(exStyle, windowClass, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, form_.hwnd(),
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), win32::Instance(), nullptr);
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(form_.font()), FALSE);
}

Control::Peer::~Peer() {
  form_.remove(id_);
  if (hwnd_) DestroyWindow(hwnd_);
}

void Control::Peer::place(const RECT& pixels) {
  SetWindowPos(hwnd_, nullptr, pixels.left, pixels.top, pixels.right - pixels.left, pixels.bottom - pixels.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Form

Form::Form() : peer_(std::make_unique<Peer>(*this)) {}

Form::~Form() = default;

std::u16string Form::caption() const {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(peer_->hwnd())) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(peer_->hwnd(), text.data(), static_cast<int>(text.size()))));
  return FromNative(text);
}

void Form::setCaption(const std::u16string& caption) { SetWindowTextW(peer_->hwnd(), ToNative(caption).c_str()); }

void Form::setClientSize(int widthTwips, int heightTwips) { peer_->setClientSize(widthTwips, heightTwips); }

void Form::setIcon(const std::u16string& resource) { peer_->setIcon(resource); }

// The dialog manager walks WS_TABSTOP windows in z order: put them in that order.
void Form::setTabOrder(std::initializer_list<Control*> controls) {
  HWND previous = HWND_TOP;
  for (Control* control : controls) {
    SetWindowPos(control->peer().hwnd(), previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    previous = control->peer().hwnd();
  }
  if (controls.size() > 0) (*controls.begin())->setFocus();
}

void Form::show() {
  ShowWindow(peer_->hwnd(), SW_SHOW);
  UpdateWindow(peer_->hwnd());
}

bool Form::visible() const { return IsWindowVisible(peer_->hwnd()); }

void Form::close() { peer_->close(); }

// ---- what the shared code asks of every control

namespace backend {

void Place(Form& form, Peer& peer, const TwipsRect& rect) { form.peer().place(peer, rect); }

void Focus(Peer& peer) { peer.form().focus(peer.hwnd()); }

bool HasFocus(const Peer& peer) { return GetFocus() == peer.hwnd(); }

// A button's or a label's text.
void SetText(Peer& peer, const std::u16string& text) { SetWindowTextW(peer.hwnd(), ToNative(text).c_str()); }

}  // namespace backend
}  // namespace runtime
