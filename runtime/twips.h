#pragma once
// Window layout in twips, the unit the window's design is written in: 1440 to the inch,
// so 15 to a pixel on a display of 96 dots per inch.

namespace runtime {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kStandardDpi = 96;

struct TwipsRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const TwipsRect&) const = default;
};

// The length in device pixels of `twips` on a display of `dpi` dots per inch.
constexpr int Pixels(int twips, int dpi = kStandardDpi) { return twips * dpi / kTwipsPerInch; }

}  // namespace runtime
