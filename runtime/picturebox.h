#pragma once
// A sunken box showing a bitmap; it takes the focus in its turn.
#include <string>

#include "control.h"

namespace runtime {

class PictureBox : public Control {
 public:
  explicit PictureBox(Form& form);

  // A bitmap among the program's resources, by its name without extension.
  void setPicture(const std::u16string& resource);
};

}  // namespace runtime
