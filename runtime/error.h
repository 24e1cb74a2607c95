#pragma once
// Run-time errors of the controls, and what becomes of one that no handler catches.
#include <QString>
#include <functional>
#include <stdexcept>
#include <system_error>

namespace runtime {

class Error : public std::runtime_error {
 public:
  Error(int number, const QString& description);
  int number() const { return number_; }
  QString description() const { return QString::fromUtf8(what()); }

 private:
  int number_;
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

}  // namespace runtime
