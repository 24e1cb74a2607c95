#pragma once
// Window layout in twips, the unit the window's design is written in.
#include <QRect>

namespace runtime {

inline constexpr int kTwipsPerPixel = 15;  // 1440 twips to the inch, 96 pixels to the inch

constexpr int Pixels(int twips) { return twips / kTwipsPerPixel; }

constexpr QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Pixels(left), Pixels(top), Pixels(width), Pixels(height));
}

}  // namespace runtime
