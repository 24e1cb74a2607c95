// Numbers as people read them in messages: 65,536 rather than 65536.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>

namespace m32tga {

std::string with_separators(std::uint64_t magnitude, bool negative = false);

template <std::integral Number>
std::string with_separators(Number value) {
    if constexpr (std::signed_integral<Number>) {
        // Negating in unsigned arithmetic keeps the most negative value exact.
        const auto magnitude = static_cast<std::uint64_t>(value);
        if (value < 0) return with_separators(std::uint64_t{0} - magnitude, true);
        return with_separators(magnitude, false);
    } else {
        return with_separators(static_cast<std::uint64_t>(value), false);
    }
}

}  // namespace m32tga
