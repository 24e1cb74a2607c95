#include "frmPellicar.h"

#include <QIcon>
#include <QPixmap>

#include "runtime/error.h"
#include "runtime/strings.h"
#include "runtime/twips.h"
#include "ui/version.h"

namespace {

constexpr int kClientWidth = 4725, kClientHeight = 4650;  // twips
constexpr int kPictureBorder = 2;                         // pixels on each side

}  // namespace

frmPellicar::frmPellicar(QWidget* parent) : QWidget(parent) {
  setWindowTitle(kCaption);
  setWindowIcon(QIcon(QStringLiteral(":/pellicar.ico")));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(runtime::Pixels(kClientWidth), runtime::Pixels(kClientHeight));
  createControls();
  placeControls();
  connectHandlers();
}

void frmPellicar::createControls() {
  Drive1 = new runtime::DriveListBox(this);
  Dir1 = new runtime::DirListBox(this);
  File1 = new runtime::FileListBox(this);
  File1->setPattern(QStringLiteral("*.m32"));

  Command1 = new QPushButton(QStringLiteral("Convert to TGA"), this);
  Command1->setAutoDefault(false);
  Command1->setDefault(false);

  const std::array<const char*, 3> credits = {PELLICAR_TITLE_LINE, PELLICAR_CONTACT, PELLICAR_WEB_PAGE};
  for (std::size_t i = 0; i < Label2.size(); ++i) {
    Label2[i] = new QLabel(QString::fromUtf8(credits[i]), this);
    Label2[i]->setObjectName(QStringLiteral("Label2_%1").arg(i));
    Label2[i]->setFocusPolicy(Qt::NoFocus);
  }

  Picture1 = new QLabel(this);
  Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Picture1->setLineWidth(kPictureBorder);
  Picture1->setPixmap(QPixmap(QStringLiteral(":/picture.bmp")));
  Picture1->setFocusPolicy(Qt::StrongFocus);

  Drive1->setObjectName(QStringLiteral("Drive1"));
  Dir1->setObjectName(QStringLiteral("Dir1"));
  File1->setObjectName(QStringLiteral("File1"));
  Command1->setObjectName(QStringLiteral("Command1"));
  Picture1->setObjectName(QStringLiteral("Picture1"));
}

void frmPellicar::placeControls() {
  using runtime::TwipsRect;
  Drive1->setGeometry(TwipsRect(45, 885, 1995, 315));
  Dir1->setGeometry(TwipsRect(45, 1320, 1995, 2790));
  File1->setGeometry(TwipsRect(2160, 885, 2460, 3210));
  Command1->setGeometry(TwipsRect(720, 4200, 2895, 375));
  Label2[0]->setGeometry(TwipsRect(840, 120, 3795, 255));
  Label2[1]->setGeometry(TwipsRect(840, 360, 3795, 255));
  Label2[2]->setGeometry(TwipsRect(840, 600, 3795, 255));
  Picture1->setGeometry(TwipsRect(120, 120, 690, 690));

  setTabOrder(Drive1, Dir1);
  setTabOrder(Dir1, File1);
  setTabOrder(File1, Command1);
  setTabOrder(Command1, Picture1);
  Drive1->setFocus();
}

void frmPellicar::connectHandlers() {
  connect(Drive1, &runtime::DriveListBox::Change, this, [this] { runtime::RunHandler([this] { Drive1_Change(); }); });
  connect(Dir1, &runtime::DirListBox::Change, this, [this] { runtime::RunHandler([this] { Dir1_Change(); }); });
  connect(Command1, &QPushButton::clicked, this, [this] { runtime::RunHandler([this] { Command1_Click(); }); });
}

void frmPellicar::Drive1_Change() {
  runtime::OnErrorResumeNext([this] { Dir1->setPath(Drive1->drive()); });
  runtime::OnErrorResumeNext([this] { Drive1->setDrive(Dir1->path()); });
}

void frmPellicar::Dir1_Change() {
  try {
    File1->setPath(Dir1->path());
  } catch (const runtime::Error&) {
    return OpenNearestReadableAncestor();
  }
  Drive1->showDriveOf(Dir1->path());  // above a mount path lies another drive
}

// The open directory has vanished or cannot be read: all three lists move up to the
// nearest directory that can still be listed (the change of the directory list takes
// the other two along).
void frmPellicar::OpenNearestReadableAncestor() {
  QString directory = Dir1->path();
  for (QString parent = runtime::ParentPath(directory); parent != directory; parent = runtime::ParentPath(parent)) {
    directory = parent;
    try {
      Dir1->setPath(directory);  // its change points the file list there
      break;
    } catch (const runtime::Error&) {
    }
  }
}
