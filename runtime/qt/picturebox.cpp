// The picture box: a sunken frame around a bitmap, which takes the focus in its turn.
#include <QLabel>
#include <QPixmap>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime::backend {

constexpr int kBorder = 2;  // pixels on each side

PeerPtr MakePicture(Form& form) {
  auto* picture = new QLabel(&form.peer());
  picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picture->setLineWidth(kBorder);
  picture->setFocusPolicy(Qt::StrongFocus);
  return PeerPtr(new Peer(picture));
}

void SetPicture(Peer& peer, const std::u16string& resource) {
  static_cast<QLabel*>(peer.widget())->setPixmap(QPixmap(QStringLiteral(":/%1.bmp").arg(qt::ToQString(resource))));
}

}  // namespace runtime::backend
