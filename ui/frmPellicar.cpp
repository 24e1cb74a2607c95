#include "frmPellicar.h"

#include "runtime/error.h"
#include "runtime/strings.h"

namespace {

constexpr int kClientWidth = 4725, kClientHeight = 4650;  // twips

}  // namespace

frmPellicar::frmPellicar() {
  runtime::Application::setTitle(kCaption);
  setCaption(kCaption);
  setIcon(u"pellicar");
  setClientSize(kClientWidth, kClientHeight);

  File1.setPattern(u"*.m32");
  Command1.setCaption(u"Convert to TGA");
  const std::array<const char*, 3> credits = {PELLICAR_TITLE_LINE, PELLICAR_CONTACT, PELLICAR_WEB_PAGE};
  for (std::size_t i = 0; i < Label2.size(); ++i) Label2[i].setCaption(runtime::FromUtf8(credits[i]));
  Picture1.setPicture(u"picture");  // 42 x 42 pixels: the box leaves a 2-pixel border on each side

  Drive1.move({45, 885, 1995, 315});
  Dir1.move({45, 1320, 1995, 2790});
  File1.move({2160, 885, 2460, 3210});
  Command1.move({720, 4200, 2895, 375});
  Label2[0].move({840, 120, 3795, 255});
  Label2[1].move({840, 360, 3795, 255});
  Label2[2].move({840, 600, 3795, 255});
  Picture1.move({120, 120, 690, 690});
  setTabOrder({&Drive1, &Dir1, &File1, &Command1, &Picture1});

  Drive1.Change = [this] { Drive1_Change(); };
  Dir1.Change = [this] { Dir1_Change(); };
  Command1.Click = [this] { Command1_Click(); };
}

void frmPellicar::Drive1_Change() {
  runtime::OnErrorResumeNext([this] { Dir1.setPath(Drive1.drive()); });
  runtime::OnErrorResumeNext([this] { Drive1.setDrive(Dir1.path()); });
}

void frmPellicar::Dir1_Change() {
  try {
    File1.setPath(Dir1.path());
  } catch (const runtime::Error&) {
    return OpenNearestReadableAncestor();
  }
  Drive1.showDriveOf(Dir1.path());  // above a mount path lies another drive
}

// The open directory has vanished or cannot be read: all three lists move up to the
// nearest directory that can still be listed (the change of the directory list takes
// the other two along).
void frmPellicar::OpenNearestReadableAncestor() {
  std::u16string directory = Dir1.path();
  for (auto parent = runtime::ParentPath(directory); parent != directory; parent = runtime::ParentPath(parent)) {
    directory = parent;
    try {
      Dir1.setPath(directory);  // its change points the file list there
      break;
    } catch (const runtime::Error&) {
    }
  }
}
