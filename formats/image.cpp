#include "formats/image.h"

#include <algorithm>

#include "system/number_text.h"

namespace formats {

bool MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) {
  if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset) {
    error_ = "no bytes past " + sys::WithSeparators(bytes_.size());
    return false;
  }
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), bytes.size(), bytes.begin());
  return true;
}

}  // namespace formats
