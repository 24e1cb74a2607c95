#include "error.h"

#include "os.h"

namespace sys {
namespace {

class Conditions : public std::error_category {
 public:
  const char* name() const noexcept override { return "pellicar-system"; }

  std::string message(int condition) const override {
    return condition == static_cast<int>(Condition::kDriveNotReady) ? "drive not ready" : "unknown condition";
  }

  bool equivalent(const std::error_code& code, int condition) const noexcept override {
    return condition == static_cast<int>(Condition::kDriveNotReady) && os::MeansDriveNotReady(code);
  }
};

}  // namespace

const std::error_category& ConditionCategory() {
  static const Conditions category;
  return category;
}

std::error_condition make_error_condition(Condition condition) {
  return {static_cast<int>(condition), ConditionCategory()};
}

namespace os {

void Throw(std::error_code code, NativeStringView subject) {
  throw std::system_error(code, ToUtf8(FromNative(subject)));
}

}  // namespace os
}  // namespace sys
