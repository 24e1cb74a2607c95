#include "patterns.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

namespace patterns {
namespace {

// Each pattern maps a position in [0,1) x [0,1) to red, green, blue, alpha in [0,1].
using Colour = std::array<double, 4>;
using Pattern = std::function<Colour(double u, double v)>;

constexpr double kPi = 3.14159265358979323846;

double Hash01(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return static_cast<double>((h ^ (h >> 16)) & 0xFFFF) / 0xFFFF;
}

double SmoothNoise(double x, double y) {
  const int ix = static_cast<int>(std::floor(x));
  const int iy = static_cast<int>(std::floor(y));
  const double fx = x - ix;
  const double fy = y - iy;
  const double sx = fx * fx * (3 - 2 * fx);
  const double sy = fy * fy * (3 - 2 * fy);
  const double top = std::lerp(Hash01(ix, iy), Hash01(ix + 1, iy), sx);
  const double bottom = std::lerp(Hash01(ix, iy + 1), Hash01(ix + 1, iy + 1), sx);
  return std::lerp(top, bottom, sy);
}

double Turbulence(double x, double y) {
  double sum = 0;
  for (double scale = 1; scale <= 16; scale *= 2) sum += SmoothNoise(x * scale, y * scale) / scale;
  return sum / 2;
}

Colour Marble(double u, double v) {
  const double vein = 0.5 + 0.5 * std::sin((u * 6 + Turbulence(u * 4, v * 4) * 5) * kPi);
  const double shade = 0.55 + 0.45 * std::pow(vein, 0.4);
  return {shade * 0.92, shade * 0.88, shade * 0.80, 1};
}

Colour Bricks(double u, double v) {
  constexpr double kRows = 8;
  constexpr double kColumns = 4;
  constexpr double kMortar = 0.06;
  const double row = std::floor(v * kRows);
  const double along = u * kColumns + (static_cast<int>(row) % 2) * 0.5;
  const double fx = along - std::floor(along);
  const double fy = v * kRows - row;
  if (fx < kMortar || fy < kMortar * 2) return {0.78, 0.76, 0.70, 1};
  const double tint = 0.8 + 0.2 * Hash01(static_cast<int>(std::floor(along)), static_cast<int>(row));
  const double grain = 0.85 + 0.15 * SmoothNoise(u * 60, v * 60);
  return {0.70 * tint * grain, 0.30 * tint * grain, 0.22 * tint * grain, 1};
}

Colour Sunset(double u, double v) {
  const double sun = std::hypot(u - 0.5, v - 0.62);
  if (sun < 0.12) return {1.0, 0.86, 0.45, 1};
  const double glow = std::max(0.0, 1 - sun * 2.2);
  if (v > 0.7) return {0.10 + 0.3 * glow, 0.08 + 0.15 * glow, 0.25, 1};  // the sea
  return {std::min(1.0, 0.95 * v + 0.4 * glow), 0.25 + 0.45 * v * glow, 0.45 - 0.3 * v, 0.6 + 0.4 * v};
}

Colour Rings(double u, double v) {
  const double r = std::hypot(u - 0.5, v - 0.5) * 18;
  return {0.5 + 0.5 * std::sin(r), 0.5 + 0.5 * std::sin(r + 2.1), 0.5 + 0.5 * std::sin(r + 4.2),
          std::clamp(1.3 - r / 12, 0.0, 1.0)};
}

Colour Checker(double u, double v) {
  constexpr double kSquares = 8;
  const bool light = (static_cast<int>(u * kSquares) + static_cast<int>(v * kSquares)) % 2 == 0;
  const double vignette = 1 - 0.6 * std::hypot(u - 0.5, v - 0.5);
  return light ? Colour{0.95, 0.93, 0.85, vignette} : Colour{0.18, 0.32, 0.45, vignette};
}

// One colour everywhere: what an encoder makes of nothing to encode.
Colour Flat(double, double) { return {0.40, 0.45, 0.50, 1}; }

std::optional<Pattern> FindPattern(std::string_view name) {
  if (name == "marble") return Marble;
  if (name == "bricks") return Bricks;
  if (name == "sunset") return Sunset;
  if (name == "rings") return Rings;
  if (name == "checker") return Checker;
  if (name == "flat") return Flat;
  return std::nullopt;
}

std::uint8_t ToByte(double channel) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(channel, 0.0, 1.0) * 255));
}

}  // namespace

std::optional<RgbaImage> DrawPattern(std::string_view name, std::uint32_t width, std::uint32_t height) {
  const std::optional<Pattern> pattern = FindPattern(name);
  if (!pattern) return std::nullopt;
  RgbaImage image{width, height, {}};
  image.rgba.reserve(std::size_t{width} * height * 4);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      for (double channel : (*pattern)((x + 0.5) / width, (y + 0.5) / height)) {
        image.rgba.push_back(ToByte(channel));
      }
    }
  }
  return image;
}

}  // namespace patterns
