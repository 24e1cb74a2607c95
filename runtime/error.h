#pragma once
// Run-time errors of the controls, and what becomes of one that no handler catches.
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "control.h"

namespace runtime {

class Error : public std::runtime_error {
 public:
  Error(int number, const std::u16string& description);
  int number() const { return number_; }
  const std::u16string& description() const { return description_; }

 private:
  int number_;
  std::u16string description_;
};

// The run-time error for a failed system call, numbered by what went wrong.
Error ErrorFrom(const std::system_error& failure);

// The result of a system-layer call, its std::system_error turned into an Error.
template <class Call>
auto Checked(Call call) {
  try {
    return call();
  } catch (const std::system_error& failure) {
    throw ErrorFrom(failure);
  }
}

// Runs one statement of a handler; an Error in it is dropped and the handler goes on.
void OnErrorResumeNext(const std::function<void()>& statement);

// Runs an event handler. An Error that leaves it is shown with its number and text in
// a message box, and then the program ends.
void RunHandler(const std::function<void()>& handler);

// Calls the handler of `event`, if one is set, through RunHandler.
void Raise(const Event& event);

}  // namespace runtime
