#pragma once
// A push button. It is never the form's default button: Enter elsewhere does not press it.
#include <string>

#include "control.h"

namespace runtime {

class CommandButton : public Control {
 public:
  explicit CommandButton(Form& form);

  std::u16string caption() const;
  void setCaption(const std::u16string& caption);

  Event Click;

 private:
  std::u16string caption_;
};

}  // namespace runtime
