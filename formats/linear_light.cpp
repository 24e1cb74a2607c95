#include "formats/linear_light.h"

#include <array>
#include <cmath>
#include <vector>

#include "formats/pixel_loops.h"

namespace formats {
namespace {

constexpr std::size_t kRgba = 4;
constexpr std::size_t kAlpha = 3;
constexpr int kLevels = 256;

// The sRGB transfer function, on values from 0 to 1.
double ToLinear(double encoded) {
  return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

// Linear light in whole steps, so that sums and quotients are exact integers, the same
// on every processor and in every copy of a loop. The steps are fine enough that each
// sRGB value has steps of its own (the narrowest, between 0 and 1, is 20 steps wide).
const std::array<std::uint32_t, kLevels>& ToSteps() {
  static const std::array<std::uint32_t, kLevels> table = [] {
    std::array<std::uint32_t, kLevels> steps{};
    for (int i = 0; i < kLevels; ++i)
      steps[i] = static_cast<std::uint32_t>(std::lround(ToLinear(i / 255.0) * kLightSteps));
    return steps;
  }();
  return table;
}

// The nearest sRGB value to each step: the boundary between two values lies half way
// between them in sRGB. Made when first needed, as a mapping to a palette needs only
// ToSteps() and a converter that starts once per texture should not make 256 KB for it.
const std::vector<std::uint32_t>& FromSteps() {
  static const std::vector<std::uint32_t> table = [] {
    std::vector<std::uint32_t> values(kLightSteps + 1);
    std::array<double, kLevels - 1> boundary{};
    for (int i = 0; i + 1 < kLevels; ++i) boundary[i] = ToLinear((i + 0.5) / 255.0);
    int value = 0;
    for (std::uint32_t step = 0; step <= kLightSteps; ++step) {
      const double light = static_cast<double>(step) / kLightSteps;
      while (value < kLevels - 1 && light >= boundary[value]) ++value;
      values[step] = static_cast<std::uint32_t>(value);
    }
    return values;
  }();
  return table;
}

}  // namespace

float LinearLight(std::uint8_t encoded) {
  return static_cast<float>(ToSteps()[encoded]) / static_cast<float>(kLightSteps);
}

std::uint8_t EncodeLinearLight(float light) {
  const float clamped = light < 0 ? 0 : (light > 1 ? 1 : light);
  return static_cast<std::uint8_t>(FromSteps()[std::lround(clamped * static_cast<float>(kLightSteps))]);
}

void AverageInLinearLight(std::span<const std::uint8_t* const> rows, std::size_t x, std::uint32_t columns,
                          std::uint8_t* out) {
  const std::array<std::uint32_t, kLevels>& toSteps = ToSteps();
  const std::vector<std::uint32_t>& fromSteps = FromSteps();
  std::uint32_t alphaSum = 0;
  for (const std::uint8_t* row : rows) {
    for (std::size_t column = x; column < x + columns; ++column) alphaSum += row[column * kRgba + kAlpha];
  }
  const std::uint32_t count = static_cast<std::uint32_t>(rows.size()) * columns;
  // A block wholly transparent weighs its pixels the same, so that it keeps its colour.
  const std::uint32_t transparent = alphaSum == 0 ? 1 : 0;
  const std::uint32_t weightSum = alphaSum + count * transparent;
  for (std::size_t c = 0; c < 3; ++c) {
    std::uint32_t weighed = 0;
    for (const std::uint8_t* row : rows) {
      for (std::size_t column = x; column < x + columns; ++column) {
        const std::uint8_t* pixel = row + column * kRgba;
        weighed += toSteps[pixel[c]] * (pixel[kAlpha] + transparent);
      }
    }
    out[c] = static_cast<std::uint8_t>(fromSteps[(2 * weighed + weightSum) / (2 * weightSum)]);
  }
  out[kAlpha] = static_cast<std::uint8_t>((alphaSum + count / 2) / count);
}

void AverageSquaresInLinearLight(const std::uint8_t* top, const std::uint8_t* bottom, std::uint8_t* out,
                                 std::size_t squares) {
  AverageSquaresByTables(top, bottom, out, squares, ToSteps().data(), FromSteps().data());
}

}  // namespace formats
