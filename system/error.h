#pragma once
// The errors of the system layer. A failed call throws std::system_error with the
// system's own code and message; tell them apart by std::errc, and by the conditions
// below for what std::errc has no name for.
#include <system_error>

namespace sys {

enum class Condition {
  kDriveNotReady = 1,  // no medium in the drive, not ready, or gone stale
};

const std::error_category& ConditionCategory();
std::error_condition make_error_condition(Condition condition);

}  // namespace sys

template <>
struct std::is_error_condition_enum<sys::Condition> : std::true_type {};
