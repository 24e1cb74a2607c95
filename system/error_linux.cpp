// Errors on Linux: errno, in the system's category.
#include <cerrno>

#include "os.h"

namespace sys::os {

std::error_code ErrorCode(int code) { return {code, std::system_category()}; }

void ThrowLastError(NativeStringView subject) { Throw(ErrorCode(errno), subject); }

bool MeansDriveNotReady(const std::error_code& code) {
  if (code.category() != std::system_category() && code.category() != std::generic_category()) return false;
  switch (code.value()) {
    case ENOMEDIUM:
    case EMEDIUMTYPE:
    case ESTALE:
    case ENOTCONN:
    case EHOSTDOWN: return true;
    default: return false;
  }
}

}  // namespace sys::os
