// The controls that hold no logic of their own: the button, the label, the picture.
#include "backend.h"
#include "runtime/commandbutton.h"
#include "runtime/error.h"
#include "runtime/label.h"
#include "runtime/picturebox.h"

namespace runtime {

CommandButton::CommandButton(Form& form) : Control(form, backend::MakeButton(form, [this] { Raise(Click); })) {}

std::u16string CommandButton::caption() const { return caption_; }

void CommandButton::setCaption(const std::u16string& caption) {
  caption_ = caption;
  backend::SetText(peer(), caption);
}

Label::Label(Form& form) : Control(form, backend::MakeLabel(form)) {}

std::u16string Label::caption() const { return caption_; }

void Label::setCaption(const std::u16string& caption) {
  caption_ = caption;
  backend::SetText(peer(), caption);
}

PictureBox::PictureBox(Form& form) : Control(form, backend::MakePicture(form)) {}

void PictureBox::setPicture(const std::u16string& resource) { backend::SetPicture(peer(), resource); }

}  // namespace runtime
