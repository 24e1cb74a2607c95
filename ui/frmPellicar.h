#pragma once
// The program's one window: the credits block across the top, a drive list above a
// directory list, the m32 files of the open directory, and the Convert button.
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <array>
#include <chrono>

#include "runtime/busy.h"
#include "runtime/dirlistbox.h"
#include "runtime/drivelistbox.h"
#include "runtime/filelistbox.h"

namespace sys {
struct ProcessResult;
}

class frmPellicar : public QWidget {
  Q_OBJECT

 public:
  explicit frmPellicar(QWidget* parent = nullptr);

  inline static const QString kCaption = QStringLiteral("Pellicar convertor");

  runtime::DriveListBox* Drive1;
  runtime::DirListBox* Dir1;
  runtime::FileListBox* File1;
  QPushButton* Command1;
  std::array<QLabel*, 3> Label2;
  QLabel* Picture1;

  // The short form of a path, which stands on a command line as exactly one argument;
  // empty when there is no such file. Throws std::system_error when the file cannot be
  // reached (access refused, a loop of links).
  QString GetShortPath(QString& strFileName);
  // Runs a command line and returns how that process ended, once it has (at once when
  // it cannot be started). The window keeps painting meanwhile; once it has been asked
  // to close, a process that still runs after kStopAfterClose is stopped.
  sys::ProcessResult ExecCmd(QString& cmdline);
  static constexpr std::chrono::seconds kStopAfterClose{3};

 public slots:
  void Drive1_Change();
  void Dir1_Change();
  void Command1_Click();

 private:
  void createControls();
  void placeControls();
  void connectHandlers();
  void OpenNearestReadableAncestor();

  int SelectedCount(int lastIndex) const;

  runtime::Busy busy_{*this};
};
