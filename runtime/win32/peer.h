#pragma once
// The Win32 peers: a form is a top-level window of our own class, a control a child
// window of one of the standard classes. A child's notifications reach its peer through
// a registry in the form by control id, not through a switch that knows every control.
#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/control.h"
#include "runtime/form.h"
#include "runtime/strings.h"

namespace runtime {

class Control::Peer {
 public:
  Peer(Form& form, const wchar_t* windowClass, DWORD style, DWORD exStyle = 0);
  virtual ~Peer();
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  HWND hwnd() const { return hwnd_; }  // null once the form's window is destroyed
  Form::Peer& form() const { return form_; }
  // The form's window is being destroyed, and this control's with it.
  void windowGone() { hwnd_ = nullptr; }

  // Puts the control at `pixels` in the form's client area.
  virtual void place(const RECT& pixels);
  // The form's font or resolution has changed.
  virtual void fontChanged() {}
  // Notifications the form passes on: WM_COMMAND's code, WM_DRAWITEM.
  virtual void command(int /*code*/) {}
  virtual void drawItem(const DRAWITEMSTRUCT& /*item*/) {}

 private:
  Form::Peer& form_;
  int id_;
  HWND hwnd_;
};

class Form::Peer {
 public:
  explicit Peer(Form& form);
  ~Peer();
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  HWND hwnd() const { return hwnd_; }  // null once destroyed
  int dpi() const { return dpi_; }
  HFONT font() const { return font_; }

  int add(Control::Peer& control);
  void remove(int id);
  void place(Control::Peer& control, const TwipsRect& rect);
  void setClientSize(int widthTwips, int heightTwips);
  void setIcon(const std::u16string& resource);
  // Hides the form unless it is kept open; the form the program runs on is destroyed
  // instead, which ends the program's message loop.
  void close();
  void endsTheProgram() { endsTheProgram_ = true; }
  // The control that has the focus whenever the form is active.
  void focus(HWND control);

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // The peer of a window of the form's class.
  static Peer* Of(HWND form);

 private:
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void changeDpi(int dpi, const RECT* suggested);
  void resize();
  void loadIcons();
  Control::Peer* control(int id) const;

  Form& form_;
  HWND hwnd_ = nullptr;
  bool endsTheProgram_ = false;
  int dpi_ = 96;
  HFONT font_ = nullptr;
  HWND focus_ = nullptr;
  std::wstring iconResource_;
  HICON icon_ = nullptr, smallIcon_ = nullptr;
  int nextId_ = 100;  // clear of IDOK and IDCANCEL, which the dialog manager sends
  int widthTwips_ = 0, heightTwips_ = 0;
  std::map<int, Control::Peer*> controls_;
  std::map<Control::Peer*, TwipsRect> placements_;
};

namespace win32 {

inline constexpr wchar_t kFormClass[] = L"PellicarForm";

HINSTANCE Instance();
// The dots per inch of the display the window is on.
int DpiOf(HWND hwnd);
// The message font at `dpi`, as the system's dialogs use it; the caller deletes it.
HFONT MessageFont(int dpi);
// A system metric, such as SM_CXICON, at `dpi` dots per inch.
int MetricAt(int metric, int dpi);

// A user32 function that older systems lack, found by its name; null where it is not.
template <class Function>
Function* FromUser32(const char* name) {
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// Registers the window classes once.
void RegisterClasses();

// The form to own a message box: the active one, else the first shown; null if none.
HWND ShownForm();
// Whether input is dropped: some BusyScope lives.
bool Busy();
// Hands one message to its window, Tab and the arrow keys going through the dialog
// manager; input is dropped while busy, except what closes a form.
void Dispatch(MSG& message);

}  // namespace win32
}  // namespace runtime
