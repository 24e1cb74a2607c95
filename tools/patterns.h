// Our own textures for samples and benchmarks, drawn from a few formulas.
#pragma once

#include <optional>
#include <string_view>

#include "support/image_files.h"

namespace patterns {

using image_files::RgbaImage;

// "marble", "bricks", "sunset", "rings", "checker" or "flat"; nothing for another name.
std::optional<RgbaImage> DrawPattern(std::string_view name, std::uint32_t width, std::uint32_t height);

}  // namespace patterns
