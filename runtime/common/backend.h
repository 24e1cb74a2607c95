#pragma once
// What each backend (runtime/qt, runtime/win32) provides to the controls' shared code:
// the native peers and the few things done to them. Everything else a control does is
// written once, in runtime/common.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lists.h"
#include "runtime/control.h"
#include "runtime/form.h"
#include "runtime/msgbox.h"

namespace runtime::backend {

using Peer = Control::Peer;
using PeerPtr = Control::PeerPtr;

void ShowMessageBox(const Message& message);
// How many rows of text, in the font of a message box, the screen of the form holds.
int MessageRowsOnScreen();

// The busy state on the screen: from BeginBusy the wait cursor shows and input is dropped;
// EndBusy drops the input already on its way as well, then takes input again.
void BeginBusy(Form& form);
void EndBusy(Form& form);

void Place(Form& form, Peer& peer, const TwipsRect& rect);
void Focus(Peer& peer);
bool HasFocus(const Peer& peer);

// A drop-down list; `onPick` gets the index the user picked, `onDropDown` runs just
// before the list drops down.
PeerPtr MakeDriveList(Form& form, std::function<void(int)> onPick, std::function<void()> onDropDown);
void ShowDrives(Peer& peer, const std::vector<std::u16string>& designations, int current);

// `onOpen` gets the index of an entry opened by a double-click or Enter.
PeerPtr MakeDirList(Form& form, std::function<void(int)> onOpen);
void ShowDirectories(Peer& peer, const std::vector<common::DirectoryEntry>& entries, int highlighted);
int HighlightedDirectory(const Peer& peer);
void HighlightDirectory(Peer& peer, int index);

PeerPtr MakeFileList(Form& form);
void ShowFiles(Peer& peer, const std::vector<std::u16string>& names);
bool IsFileSelected(const Peer& peer, int index);
void SelectFile(Peer& peer, int index, bool selected);

PeerPtr MakeButton(Form& form, std::function<void()> onClick);
PeerPtr MakeLabel(Form& form);
void SetText(Peer& peer, const std::u16string& text);

PeerPtr MakePicture(Form& form);
void SetPicture(Peer& peer, const std::u16string& resource);

}  // namespace runtime::backend
