#pragma once
// A top-level window with a fixed border, a title, an icon and a client area sized in
// twips. A form's controls are created with it as their parent.
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace runtime {

class Busy;
class Control;

class Form {
 public:
  class Peer;

  Form();
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  std::u16string caption() const;
  void setCaption(const std::u16string& caption);
  void setClientSize(int widthTwips, int heightTwips);
  // An icon among the program's resources, by its name without extension.
  void setIcon(const std::u16string& resource);
  // The order in which Tab walks the controls that take the focus; the first one has it.
  void setTabOrder(std::initializer_list<Control*> controls);

  void show();
  bool visible() const;
  // Closes the form unless QueryUnload keeps it open, or holds the request while the
  // form is busy; the program ends with its last form.
  void close();

  Peer& peer() const { return *peer_; }

 protected:
  // Asked before the form closes, by the user or by code. True keeps it open.
  virtual bool QueryUnload() { return false; }

 private:
  friend class Peer;
  friend class Busy;
  // Asked by the backend when a close is requested: true keeps the form open.
  bool keepsOpen();

  std::unique_ptr<Peer> peer_;
  Busy* busy_ = nullptr;  // while a BusyScope holds the form
};

// The windowing runtime of the program: exists before the first form and runs the
// event loop until the last form has closed.
class Application {
 public:
  Application(int& argc, char** argv);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Handles events until `form` has closed; returns the program's exit code.
  int run(Form& form);

  // The program's own arguments, those the windowing system has not taken; each as
  // given, also where it is not valid text.
  std::vector<std::u16string> arguments() const;

  // The program's name, which the runtime's own messages carry as their title.
  static void setTitle(const std::u16string& title);

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

// Where the lists of the forms made from now on start: in the directory `place` names,
// or in the one holding the file it names (a link counts as the file it points to).
// A place that is not there or cannot be read, and an empty one, leave them where they
// start by themselves: in the process's current directory, which stays as it is.
void StartListsIn(const std::u16string& place);

}  // namespace runtime
