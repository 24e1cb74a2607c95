#pragma once
// One line of text. It takes no focus.
#include <string>

#include "control.h"

namespace runtime {

class Label : public Control {
 public:
  explicit Label(Form& form);

  std::u16string caption() const;
  void setCaption(const std::u16string& caption);

 private:
  std::u16string caption_;
};

}  // namespace runtime
