#pragma once
// What every control of a form has: a place in twips, the focus, and a native peer that
// the backend (runtime/qt, runtime/win32) defines.
#include <functional>
#include <memory>

#include "twips.h"

namespace runtime {

class Form;

// A handler of a control's event. The runtime calls it through RunHandler, so that an
// error it does not catch gets the default handling.
using Event = std::function<void()>;

class Control {
 public:
  class Peer;
  // Deletes a peer; the backend defines both.
  struct PeerDeleter {
    void operator()(Peer* peer) const;
  };
  using PeerPtr = std::unique_ptr<Peer, PeerDeleter>;

  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Places the control in its form's client area; kept in twips, so that the backend can
  // place it again when the display's resolution changes.
  void move(const TwipsRect& rect);
  TwipsRect placement() const { return placement_; }

  void setFocus();
  bool hasFocus() const;

  Peer& peer() const { return *peer_; }

 protected:
  Control(Form& form, PeerPtr peer);

 private:
  Form& form_;
  PeerPtr peer_;
  TwipsRect placement_;
};

}  // namespace runtime
