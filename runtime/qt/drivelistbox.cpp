// The drive list: a combo box that reads the drives again whenever it drops down.
#include <QComboBox>
#include <QSignalBlocker>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime {
namespace {

class DriveCombo : public QComboBox {
 public:
  DriveCombo(QWidget* parent, std::function<void()> onDropDown)
      : QComboBox(parent), onDropDown_(std::move(onDropDown)) {
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  }

  void showPopup() override {
    onDropDown_();
    QComboBox::showPopup();
  }

 private:
  std::function<void()> onDropDown_;
};

}  // namespace

namespace backend {

PeerPtr MakeDriveList(Form& form, std::function<void(int)> onPick, std::function<void()> onDropDown) {
  auto* combo = new DriveCombo(&form.peer(), std::move(onDropDown));
  QObject::connect(combo, &QComboBox::currentIndexChanged, combo, std::move(onPick));
  return PeerPtr(new Peer(combo));
}

void ShowDrives(Peer& peer, const std::vector<std::u16string>& designations, int current) {
  auto* combo = static_cast<QComboBox*>(peer.widget());
  const QSignalBlocker quiet(combo);
  combo->clear();
  for (const auto& designation : designations) combo->addItem(qt::ToQString(designation));
  combo->setCurrentIndex(current);
}

}  // namespace backend
}  // namespace runtime
