// The picture box: a sunken window of our own class that paints a bitmap, scaled with
// the rest of the form to its resolution, and, unlike a static control, takes the focus
// in its turn and shows it.
#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime {
namespace {

constexpr wchar_t kPictureClass[] = L"PellicarPicture";

BITMAP SizeOf(HBITMAP bitmap) {
  BITMAP size{};
  GetObjectW(bitmap, sizeof size, &size);
  return size;
}

// `source` scaled to `dpi` from the standard resolution, smoothly.
HBITMAP Scaled(HBITMAP source, int dpi) {
  const BITMAP from = SizeOf(source);
  const int width = MulDiv(from.bmWidth, dpi, kStandardDpi), height = MulDiv(from.bmHeight, dpi, kStandardDpi);
  HDC screen = GetDC(nullptr);
  const HBITMAP scaled = CreateCompatibleBitmap(screen, width, height);
  HDC in = CreateCompatibleDC(screen), out = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ oldIn = SelectObject(in, source), oldOut = SelectObject(out, scaled);
  SetStretchBltMode(out, HALFTONE);
  SetBrushOrgEx(out, 0, 0, nullptr);
  StretchBlt(out, 0, 0, width, height, in, 0, 0, from.bmWidth, from.bmHeight, SRCCOPY);
  SelectObject(in, oldIn);
  SelectObject(out, oldOut);
  DeleteDC(in);
  DeleteDC(out);
  return scaled;
}

class PicturePeer : public Control::Peer {
 public:
  explicit PicturePeer(Form& form) : Peer(form, Register(), WS_TABSTOP, WS_EX_CLIENTEDGE) {
    SetWindowLongPtrW(hwnd(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  ~PicturePeer() override {
    SetWindowLongPtrW(hwnd(), GWLP_USERDATA, 0);
    if (original_) DeleteObject(original_);
    if (bitmap_) DeleteObject(bitmap_);
  }

  void setPicture(const std::u16string& resource) {
    if (original_) DeleteObject(original_);
    original_ = static_cast<HBITMAP>(
        LoadImageW(win32::Instance(), ToNative(resource).c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    fontChanged();
  }

  // The picture in the size of the form's resolution.
  void fontChanged() override {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = original_ ? Scaled(original_, form().dpi()) : nullptr;
    InvalidateRect(hwnd(), nullptr, TRUE);
  }

 private:
  static const wchar_t* Register() {
    static const bool registered = [] {
      WNDCLASSEXW picture{};
      picture.cbSize = sizeof picture;
      picture.lpfnWndProc = WindowProc;
      picture.hInstance = win32::Instance();
      picture.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      picture.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      picture.lpszClassName = kPictureClass;
      return RegisterClassExW(&picture) != 0;
    }();
    (void)registered;
    return kPictureClass;
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PicturePeer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
      case WM_PAINT:
        if (self) return self->paint(), 0;
        break;
      case WM_SETFOCUS:
      case WM_KILLFOCUS: InvalidateRect(hwnd, nullptr, TRUE); return 0;
      case WM_LBUTTONDOWN: SetFocus(hwnd); return 0;
      case STM_GETIMAGE:  // as a static control answers it
        return self && wParam == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(self->bitmap_) : 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  void paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd(), &paint);
    RECT client;
    GetClientRect(hwnd(), &client);
    if (bitmap_) {
      const BITMAP size = SizeOf(bitmap_);
      HDC memory = CreateCompatibleDC(dc);
      const HGDIOBJ old = SelectObject(memory, bitmap_);
      BitBlt(dc, (client.right - size.bmWidth) / 2, (client.bottom - size.bmHeight) / 2, size.bmWidth, size.bmHeight,
             memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
    if (GetFocus() == hwnd()) DrawFocusRect(dc, &client);
    EndPaint(hwnd(), &paint);
  }

  HBITMAP original_ = nullptr;  // as the resources hold it, for the standard resolution
  HBITMAP bitmap_ = nullptr;    // as it is shown
};

}  // namespace

namespace backend {

PeerPtr MakePicture(Form& form) { return PeerPtr(new PicturePeer(form)); }

void SetPicture(Peer& peer, const std::u16string& resource) { static_cast<PicturePeer&>(peer).setPicture(resource); }

}  // namespace backend
}  // namespace runtime
