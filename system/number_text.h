// Numbers as every program here writes them in messages: 65,536 rather than 65536.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>

namespace sys {

std::string WithSeparators(std::uint64_t magnitude, bool negative = false);

template <std::integral Number>
std::string WithSeparators(Number value) {
  if constexpr (std::signed_integral<Number>) {
    // Negating in unsigned arithmetic keeps the most negative value exact.
    const auto magnitude = static_cast<std::uint64_t>(value);
    if (value < 0) return WithSeparators(std::uint64_t{0} - magnitude, true);
    return WithSeparators(magnitude, false);
  } else {
    return WithSeparators(static_cast<std::uint64_t>(value), false);
  }
}

}  // namespace sys
