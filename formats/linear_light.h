// Averaging pixels in linear light: sRGB colour decoded to the light it stands for,
// averaged, and encoded back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace formats {

// The light an sRGB byte stands for, from 0 to 1.
float LinearLight(std::uint8_t encoded);
// The sRGB byte whose light is nearest, the light first clamped to 0 to 1.
std::uint8_t EncodeLinearLight(float light);

// Linear light, 0 to 1, in whole steps of 1 / kLightSteps.
inline constexpr std::uint32_t kLightSteps = 65535;

// One RGBA pixel from a block of rows.size() x `columns` pixels starting at column `x`:
// alpha averaged as stored; colour decoded to linear light, averaged weighed by alpha
// (with all alphas equal, the plain average), rounded to the nearest step and encoded
// back to the nearest sRGB value. Black and white come to 188, not the 128 of their
// bytes' average.
void AverageInLinearLight(std::span<const std::uint8_t* const> rows, std::size_t x, std::uint32_t columns,
                          std::uint8_t* out);

// The same for `squares` blocks of 2 x 2 pixels, two from `top` and the two below them
// from `bottom`, in a vectorised loop.
void AverageSquaresInLinearLight(const std::uint8_t* top, const std::uint8_t* bottom, std::uint8_t* out,
                                 std::size_t squares);

}  // namespace formats
