// Averaging pixels in linear light: sRGB colour decoded to the light it stands for,
// averaged, and encoded back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace m32tga {

// The light an sRGB byte stands for, from 0 to 1.
float LinearLight(std::uint8_t encoded);
// The sRGB byte whose light is nearest, the light first clamped to 0 to 1.
std::uint8_t EncodeLinearLight(float light);

// One RGBA pixel from a block of rows.size() x `columns` pixels starting at column `x`:
// alpha averaged as stored; colour averaged in linear light, weighed by alpha unless all
// alphas are equal, and encoded back to sRGB rounded to the nearest. Black and white
// come to 188, not the 128 of their bytes' average.
void AverageInLinearLight(std::span<const std::uint8_t* const> rows, std::size_t x, std::uint32_t columns,
                          std::uint8_t* out);

}  // namespace m32tga
