// The directory list: a tree widget with nothing to fold, so that the indentation alone
// shows the nesting. A double-click or Enter opens the highlighted line.
#include <QKeyEvent>
#include <QStyle>
#include <QTreeWidget>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime {
namespace {

constexpr int kIndentStep = 10;  // pixels
constexpr int kIndexRole = Qt::UserRole;

class DirTree : public QTreeWidget {
 public:
  DirTree(QWidget* parent, std::function<void(int)> onOpen) : QTreeWidget(parent), onOpen_(std::move(onOpen)) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(kIndentStep);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](const QTreeWidgetItem* item) { open(item); });
  }

  void show(const std::vector<common::DirectoryEntry>& entries, int highlighted) {
    clear();
    items_.clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    std::vector<QTreeWidgetItem*> lastAtLevel;
    for (const auto& entry : entries) {
      auto* item = new QTreeWidgetItem(QStringList(qt::ToQString(entry.name)));
      item->setIcon(0, entry.open ? openIcon : closedIcon);
      item->setData(0, kIndexRole, static_cast<int>(items_.size()));
      const auto level = static_cast<std::size_t>(entry.level);
      if (level == 0 || lastAtLevel.size() < level) {
        addTopLevelItem(item);
      } else {
        lastAtLevel[level - 1]->addChild(item);
      }
      lastAtLevel.resize(level + 1);
      lastAtLevel[level] = item;
      items_.push_back(item);
    }
    expandAll();
    highlight(highlighted);
  }

  int highlighted() const { return currentItem() ? currentItem()->data(0, kIndexRole).toInt() : -1; }

  void highlight(int index) {
    if (index >= 0 && index < static_cast<int>(items_.size())) setCurrentItem(items_[static_cast<std::size_t>(index)]);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return open(currentItem());
    QTreeWidget::keyPressEvent(event);
  }
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

 private:
  void open(const QTreeWidgetItem* item) {
    if (item) onOpen_(item->data(0, kIndexRole).toInt());
  }

  std::function<void(int)> onOpen_;
  std::vector<QTreeWidgetItem*> items_;
};

DirTree& Tree(const Control::Peer& peer) { return *static_cast<DirTree*>(peer.widget()); }

}  // namespace

namespace backend {

PeerPtr MakeDirList(Form& form, std::function<void(int)> onOpen) {
  return PeerPtr(new Peer(new DirTree(&form.peer(), std::move(onOpen))));
}

void ShowDirectories(Peer& peer, const std::vector<common::DirectoryEntry>& entries, int highlighted) {
  Tree(peer).show(entries, highlighted);
}

int HighlightedDirectory(const Peer& peer) { return Tree(peer).highlighted(); }

void HighlightDirectory(Peer& peer, int index) { Tree(peer).highlight(index); }

}  // namespace backend
}  // namespace runtime
