#include "runtime/msgbox.h"

#include "backend.h"

namespace runtime {
namespace {

std::function<void(const Message&)>& Override() {
  static std::function<void(const Message&)> show;
  return show;
}

}  // namespace

void MsgBox(const Message& message) {
  if (Override()) return Override()(message);
  backend::ShowMessageBox(message);
}

void OverrideMsgBox(std::function<void(const Message&)> show) { Override() = std::move(show); }

}  // namespace runtime
