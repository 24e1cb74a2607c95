// The file list: a list view over the names, with extended selection.
#include <QAbstractListModel>
#include <QItemSelectionModel>
#include <QListView>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime {
namespace {

class FileListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  void reset(const std::vector<std::u16string>& names) {
    beginResetModel();
    names_.clear();
    names_.reserve(static_cast<qsizetype>(names.size()));
    for (const auto& name : names) names_.push_back(qt::ToQString(name));
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : names_.size(); }

  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return names_.at(index.row());
  }

 private:
  QStringList names_;
};

QListView& View(const Control::Peer& peer) { return *static_cast<QListView*>(peer.widget()); }

QModelIndex Row(const Control::Peer& peer, int index) { return View(peer).model()->index(index, 0); }

}  // namespace

namespace backend {

PeerPtr MakeFileList(Form& form) {
  auto* view = new QListView(&form.peer());
  view->setModel(new FileListModel(view));
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setUniformItemSizes(true);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  return PeerPtr(new Peer(view));
}

void ShowFiles(Peer& peer, const std::vector<std::u16string>& names) {
  static_cast<FileListModel*>(View(peer).model())->reset(names);
}

bool IsFileSelected(const Peer& peer, int index) { return View(peer).selectionModel()->isSelected(Row(peer, index)); }

void SelectFile(Peer& peer, int index, bool selected) {
  View(peer).selectionModel()->select(Row(peer, index),
                                      selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

}  // namespace backend
}  // namespace runtime
