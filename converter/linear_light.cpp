#include "linear_light.h"

#include <array>
#include <cmath>
#include <vector>

namespace m32tga {
namespace {

constexpr std::size_t kRgba = 4;
constexpr std::size_t kAlpha = 3;
constexpr int kLevels = 256;
// Linear light in steps fine enough that each holds at most one boundary between two
// sRGB values (the narrowest step between them is 1 / 3,295).
constexpr int kFineSteps = 1 << 16;

// The sRGB transfer function and its inverse, on values from 0 to 1.
double ToLinear(double encoded) {
  return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}
double ToEncoded(double linear) {
  return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

struct Tables {
  std::array<float, kLevels> linear{};
  // Where, in linear light, each sRGB value gives way to the next: half way in sRGB.
  std::array<float, kLevels - 1> boundary{};
  std::vector<std::uint8_t> coarse = std::vector<std::uint8_t>(kFineSteps + 1);

  Tables() {
    for (int i = 0; i < kLevels; ++i) linear[i] = static_cast<float>(ToLinear(i / 255.0));
    for (int i = 0; i + 1 < kLevels; ++i) boundary[i] = static_cast<float>(ToLinear((i + 0.5) / 255.0));
    for (int step = 0; step <= kFineSteps; ++step) {
      coarse[step] = static_cast<std::uint8_t>(std::lround(255 * ToEncoded(static_cast<double>(step) / kFineSteps)));
    }
  }

  // The nearest sRGB value: the table's guess, moved past the one boundary it may miss.
  std::uint8_t Encode(float light) const {
    const float clamped = light < 0 ? 0 : (light > 1 ? 1 : light);
    int value = coarse[static_cast<std::size_t>(clamped * kFineSteps)];
    if (value < kLevels - 1 && clamped >= boundary[value]) ++value;
    if (value > 0 && clamped < boundary[value - 1]) --value;
    return static_cast<std::uint8_t>(value);
  }
};

const Tables& SrgbTables() {
  static const Tables tables;
  return tables;
}

}  // namespace

float LinearLight(std::uint8_t encoded) { return SrgbTables().linear[encoded]; }
std::uint8_t EncodeLinearLight(float light) { return SrgbTables().Encode(light); }

void AverageInLinearLight(std::span<const std::uint8_t* const> rows, std::size_t x, std::uint32_t columns,
                          std::uint8_t* out) {
  const Tables& tables = SrgbTables();
  std::array<float, 3> plain{};
  std::array<float, 3> weighed{};
  std::uint32_t alphaSum = 0;
  const std::uint8_t firstAlpha = rows[0][x * kRgba + kAlpha];
  bool alphasEqual = true;
  for (const std::uint8_t* row : rows) {
    for (std::size_t column = x; column < x + columns; ++column) {
      const std::uint8_t* pixel = row + column * kRgba;
      alphaSum += pixel[kAlpha];
      alphasEqual = alphasEqual && pixel[kAlpha] == firstAlpha;
      for (std::size_t c = 0; c < 3; ++c) {
        plain[c] += tables.linear[pixel[c]];
        weighed[c] += tables.linear[pixel[c]] * pixel[kAlpha];
      }
    }
  }
  const std::uint32_t count = static_cast<std::uint32_t>(rows.size()) * columns;
  out[kAlpha] = static_cast<std::uint8_t>((alphaSum + count / 2) / count);
  for (std::size_t c = 0; c < 3; ++c) {
    const float light = alphasEqual ? plain[c] / static_cast<float>(count) : weighed[c] / static_cast<float>(alphaSum);
    out[c] = tables.Encode(light);
  }
}

}  // namespace m32tga
