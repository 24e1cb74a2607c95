#include "number_text.h"

#include <algorithm>

namespace sys {

std::string WithSeparators(std::uint64_t magnitude, bool negative) {
  constexpr int kGroup = 3;
  std::string reversed;
  int digits = 0;
  do {
    if (digits > 0 && digits % kGroup == 0) reversed.push_back(',');
    reversed.push_back(static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
    ++digits;
  } while (magnitude != 0);
  if (negative) reversed.push_back('-');
  std::reverse(reversed.begin(), reversed.end());
  return reversed;
}

}  // namespace sys
