#pragma once
// The program's one window: the credits block across the top, a drive list above a
// directory list, the m32 files of the open directory, and the Convert button.
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <array>

#include "runtime/dirlistbox.h"
#include "runtime/drivelistbox.h"
#include "runtime/filelistbox.h"

class frmPellicar : public QWidget {
  Q_OBJECT

 public:
  explicit frmPellicar(QWidget* parent = nullptr);

  runtime::DriveListBox* Drive1;
  runtime::DirListBox* Dir1;
  runtime::FileListBox* File1;
  QPushButton* Command1;
  std::array<QLabel*, 3> Label2;
  QLabel* Picture1;

  // The short form of a path, which stands unquoted as one word on a command line;
  // empty when the file has none.
  QString GetShortPath(QString& strFileName);
  // Runs a command line and returns once that process has ended (at once when it
  // cannot be started). The window keeps painting meanwhile.
  void ExecCmd(QString& cmdline);

 public slots:
  void Drive1_Change();
  void Dir1_Change();
  void Command1_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void createControls();
  void placeControls();
  void connectHandlers();
  void OpenNearestReadableAncestor();

  bool batchRunning_ = false;
  bool closeRequested_ = false;
};
