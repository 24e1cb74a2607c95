// The busy state's bookkeeping: the held close request and the caption. What shows on
// the screen and which input is dropped is the backend's part.
#include "runtime/busy.h"

#include "backend.h"
#include "runtime/form.h"
#include "system/process.h"

namespace runtime {

std::chrono::milliseconds Busy::sinceCloseRequest() const {
  if (!closeRequestedAt_) return {};
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - *closeRequestedAt_);
}

void Busy::setCaption(const std::u16string& caption) { form_.setCaption(caption); }

void Busy::holdClose() {
  if (!closeRequestedAt_) closeRequestedAt_ = std::chrono::steady_clock::now();
}

void Busy::begin() {
  ownCaption_ = form_.caption();
  closeRequestedAt_.reset();
  form_.busy_ = this;
  backend::BeginBusy(form_);
}

void Busy::end() {
  backend::EndBusy(form_);
  form_.busy_ = nullptr;
  form_.setCaption(ownCaption_);
  if (closeRequestedAt_) form_.close();
}

bool Form::keepsOpen() {
  if (!busy_) return QueryUnload();
  busy_->holdClose();  // the form closes once the work in hand is done
  return true;
}

// The system's wait wakes as soon as the process ends or a window message arrives.
bool WaitForProcessDoingEvents(sys::Process& process, int milliseconds) {
  const bool ended = sys::WaitForProcess(process, milliseconds);
  DoEvents();
  return ended;
}

}  // namespace runtime
