// The directory list: an owner-drawn list box. Each line shows a folder icon, open for
// the open directory and its ancestors, indented one step per level. A double-click or
// Enter opens the highlighted line.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime {
namespace {

constexpr int kIconSize = 16;    // pixels at 96 dots per inch, as are the two below
constexpr int kIndentStep = 10;  // as a tree view indents
constexpr int kIconGap = 4;      // between the icon and the name
constexpr UINT_PTR kSubclassId = 1;
constexpr int kShellFolderIcon = 4, kShellOpenFolderIcon = 5;  // resource ids in shell32.dll

// A folder icon of the system's, `size` pixels a side. Wine has no stock icons (it names
// a plain file's, and gives no image), but shell32's own icons under the same resource
// ids as on Windows.
HICON FolderIcon(SHSTOCKICONID id, int shell32Id, int size) {
  SHSTOCKICONINFO info{};
  info.cbSize = sizeof info;
  const bool stock = SUCCEEDED(SHGetStockIconInfo(id, SHGSI_ICON, &info)) && info.hIcon;
  if (info.hIcon) DestroyIcon(info.hIcon);
  HICON icon = nullptr;
  SHDefExtractIconW(stock ? info.szPath : L"shell32.dll", stock ? info.iIcon : -shell32Id, 0, &icon, nullptr,
                    static_cast<UINT>(size));
  return icon;
}

class DirListPeer : public Control::Peer {
 public:
  DirListPeer(Form& form, std::function<void(int)> onOpen)
      : Peer(form, WC_LISTBOXW,
             LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
             WS_EX_CLIENTEDGE),
        onOpen_(std::move(onOpen)) {
    SetWindowSubclass(hwnd(), KeyProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    fontChanged();
  }

  ~DirListPeer() override {
    RemoveWindowSubclass(hwnd(), KeyProc, kSubclassId);
    destroyIcons();
  }

  void show(const std::vector<common::DirectoryEntry>& entries, int highlighted) {
    levels_.clear();
    opened_.clear();
    SendMessageW(hwnd(), WM_SETREDRAW, FALSE, 0);
    SendMessageW(hwnd(), LB_RESETCONTENT, 0, 0);
    for (const auto& entry : entries) {
      SendMessageW(hwnd(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToNative(entry.name).c_str()));
      levels_.push_back(entry.level);
      opened_.push_back(entry.open);
    }
    SendMessageW(hwnd(), LB_SETCURSEL, static_cast<WPARAM>(highlighted), 0);
    SendMessageW(hwnd(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd(), nullptr, TRUE);
  }

  // One line holds a small icon or a line of text, whichever is higher; the icons are
  // the size of the form's resolution.
  void fontChanged() override {
    destroyIcons();
    closedIcon_ = FolderIcon(SIID_FOLDER, kShellFolderIcon, scaled(kIconSize));
    openIcon_ = FolderIcon(SIID_FOLDEROPEN, kShellOpenFolderIcon, scaled(kIconSize));
    HDC dc = GetDC(hwnd());
    const HGDIOBJ old = SelectObject(dc, form().font());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(hwnd(), dc);
    const int height = std::max<int>(metrics.tmHeight, scaled(kIconSize)) + 2;
    SendMessageW(hwnd(), LB_SETITEMHEIGHT, 0, height);
  }

  void command(int code) override {
    if (code == LBN_DBLCLK) openHighlighted();
  }

  void drawItem(const DRAWITEMSTRUCT& item) override {
    if (item.itemID == static_cast<UINT>(-1)) return;
    const std::size_t index = item.itemID;
    const bool selected = item.itemState & ODS_SELECTED;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const int iconSize = scaled(kIconSize);
    const int left = item.rcItem.left + 2 + (index < levels_.size() ? levels_[index] : 0) * scaled(kIndentStep);
    const int top = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - iconSize) / 2;
    const HICON icon = index < opened_.size() && opened_[index] ? openIcon_ : closedIcon_;
    if (icon) DrawIconEx(item.hDC, left, top, icon, iconSize, iconSize, 0, nullptr, DI_NORMAL);

    std::wstring name(static_cast<std::size_t>(SendMessageW(hwnd(), LB_GETTEXTLEN, index, 0)) + 1, L'\0');
    name.resize(
        static_cast<std::size_t>(SendMessageW(hwnd(), LB_GETTEXT, index, reinterpret_cast<LPARAM>(name.data()))));
    RECT text = item.rcItem;
    text.left = left + iconSize + scaled(kIconGap);
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawTextW(item.hDC, name.c_str(), static_cast<int>(name.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
  }

 private:
  int scaled(int pixels) const { return MulDiv(pixels, form().dpi(), kStandardDpi); }

  void destroyIcons() {
    if (closedIcon_) DestroyIcon(closedIcon_);
    if (openIcon_) DestroyIcon(openIcon_);
  }

  void openHighlighted() { onOpen_(static_cast<int>(SendMessageW(hwnd(), LB_GETCURSEL, 0, 0))); }

  // Enter opens the highlighted line instead of going to the dialog manager.
  static LRESULT CALLBACK KeyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    const bool enter = wParam == VK_RETURN;
    if (message == WM_GETDLGCODE && lParam && reinterpret_cast<const MSG*>(lParam)->wParam == VK_RETURN)
      return DefSubclassProc(hwnd, message, wParam, lParam) | DLGC_WANTALLKEYS;
    if (message == WM_KEYDOWN && enter) {
      reinterpret_cast<DirListPeer*>(self)->openHighlighted();
      return 0;
    }
    if (message == WM_CHAR && wParam == L'\r') return 0;
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }

  std::function<void(int)> onOpen_;
  HICON closedIcon_ = nullptr, openIcon_ = nullptr;
  std::vector<int> levels_;
  std::vector<bool> opened_;
};

DirListPeer& AsDirList(Control::Peer& peer) { return static_cast<DirListPeer&>(peer); }

}  // namespace

namespace backend {

PeerPtr MakeDirList(Form& form, std::function<void(int)> onOpen) {
  return PeerPtr(new DirListPeer(form, std::move(onOpen)));
}

void ShowDirectories(Peer& peer, const std::vector<common::DirectoryEntry>& entries, int highlighted) {
  AsDirList(peer).show(entries, highlighted);
}

int HighlightedDirectory(const Peer& peer) { return static_cast<int>(SendMessageW(peer.hwnd(), LB_GETCURSEL, 0, 0)); }

void HighlightDirectory(Peer& peer, int index) {
  SendMessageW(peer.hwnd(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

}  // namespace backend
}  // namespace runtime
