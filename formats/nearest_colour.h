// The palette colour nearest to any colour, exact, at the speed of a table lookup for
// most pixels; and error diffusion in linear light over it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "formats/palette.h"

namespace formats {

// A distance between two colours: each channel's byte through `scale` (rising, at most
// kMostScale), the differences squared, weighed per channel (weights summing to at most
// 15) and summed, which keeps every distance within 32 bits.
inline constexpr std::uint32_t kMostScale = (1u << 14) - 1;
struct ColourMetric {
  std::array<std::uint32_t, 256> scale{};
  std::array<std::uint32_t, 3> weight{};
};
// Squared distance of the bytes as stored, as the engines' own tools measured it.
ColourMetric SrgbDistance();
// Squared distance of the light the colours stand for (sRGB decoded, in steps of
// 1 / 16,383), the channels alike.
ColourMetric LightDistance();
// The one the mapping uses, chosen by measurement on real textures (bench/palette.sh):
// light distance. Against the error of the image the eye sees (squared in linear light,
// after a small blur) its nearest colours err 27% less than those of the bytes' distance
// the engines' tools used, and its dithering 41% less.
ColourMetric ChosenDistance();

// For each colour, the palette index at the least distance, the lowest such index on a
// tie, never a reserved one. The colour cube is cut into cells of 4 x 4 x 4 values, each
// holding the few indices that can be nearest anywhere in it (found from the cell of 8
// x 8 x 8 around it, and that from one of 32 x 32 x 32), built when a colour first falls
// in it; the exact nearest is then sought among those few. Memory: about 1 MiB of cells
// and their lists, whatever the image. One to a thread: it fills its table as it goes.
class NearestColour {
 public:
  NearestColour(const Palette& palette, ReservedIndices reserved, const ColourMetric& metric = ChosenDistance());

  std::uint8_t Nearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  // Each RGBA pixel's index, alpha ignored. Where `keep` is given, a pixel whose colour
  // is exactly that of its `keep` index takes that index, reserved or not.
  void MapRow(std::span<const std::uint8_t> rgba, std::span<std::uint8_t> indices, const std::uint8_t* keep = nullptr);
  const Palette& Colours() const { return palette_; }

 private:
  struct FreeMemory {
    void operator()(std::uint32_t* memory) const { std::free(memory); }
  };
  struct Level {
    unsigned bits;
    // From calloc, which takes fresh pages as the system gives them, zeroed and never
    // touched: only the pages of the cells an image's colours reach are ever written.
    std::unique_ptr<std::uint32_t[], FreeMemory> cells;  // 0 while not built
  };
  // A cell's list as offset << 9 | length, a list of one as its index << 9 | 1.
  std::uint32_t Cell(std::size_t level, std::uint32_t red, std::uint32_t green, std::uint32_t blue);
  std::span<const std::uint8_t> ListOf(std::uint32_t cell) const;
  std::uint32_t Build(std::size_t level, std::uint32_t red, std::uint32_t green, std::uint32_t blue);
  std::uint8_t Search(std::span<const std::uint8_t> candidates, std::uint8_t red, std::uint8_t green,
                      std::uint8_t blue) const;

  Palette palette_;
  ColourMetric metric_;
  std::array<std::array<std::uint32_t, 3>, kPaletteColours> scaled_{};  // each index's colour through the scale
  std::array<Level, 3> levels_;
  std::vector<std::uint8_t> lists_;  // every allowed index first, then the cells' lists
  std::uint32_t everyAllowed_ = 0;
  std::uint32_t lastColour_ = UINT32_MAX;
  std::uint8_t lastIndex_ = 0;
};

// Floyd-Steinberg error diffusion, serpentine, in linear light: each pixel's colour plus
// the error passed to it, clamped, takes its nearest index, and the difference in light
// goes on to the pixels not yet mapped. Memory: two rows of error.
class ErrorDiffusion {
 public:
  ErrorDiffusion(NearestColour& nearest, std::uint32_t width);
  // The next row; where `keep` is given, a pixel whose colour is exactly that of its
  // `keep` index takes that index and passes on no error.
  void MapRow(std::span<const std::uint8_t> rgba, std::span<std::uint8_t> indices, const std::uint8_t* keep = nullptr);

 private:
  NearestColour& nearest_;
  std::uint32_t width_;
  bool leftToRight_ = true;
  std::vector<float> error_;  // this row's and the next's, 3 floats a pixel, a pixel of margin each side
  std::array<std::array<float, 3>, kPaletteColours> light_{};
};

}  // namespace formats
