#include "formats/nearest_colour.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>

#include "formats/linear_light.h"

namespace formats {

namespace {

constexpr std::size_t kRgba = 4;
constexpr std::uint32_t kLengthBits = 9;  // a list holds 1 to 256 indices
constexpr std::uint32_t kLengthMask = (1u << kLengthBits) - 1;
// Past this many list entries a cell shares the list of the cell around it, which is
// longer but as exact, so that no palette makes the table grow without end.
constexpr std::size_t kMostListEntries = std::size_t{1} << 22;
// The cells' sides, as the bits of each channel that pick them: 32, 8 and 4 values.
constexpr std::array<unsigned, 3> kLevelBits = {3, 5, 6};
constexpr std::size_t kShortList = 4;

constexpr std::array<std::uint8_t, kPaletteColours> kEveryIndex = [] {
  std::array<std::uint8_t, kPaletteColours> indices{};
  for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint8_t>(i);
  return indices;
}();

std::uint32_t CellOf(unsigned bits, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  const unsigned shift = 8 - bits;
  return (red >> shift) << (2 * bits) | (green >> shift) << bits | (blue >> shift);
}

std::uint64_t Squared(std::uint32_t a, std::uint32_t b) {
  const std::uint64_t difference = a > b ? a - b : b - a;
  return difference * difference;
}

// Within a metric's bounds (ColourMetric), a distance fits 32 bits.
std::uint32_t Distance(const ColourMetric& metric, const std::array<std::uint32_t, 3>& a,
                       const std::array<std::uint32_t, 3>& b) {
  std::uint32_t sum = 0;
  for (std::size_t c = 0; c < 3; ++c) {
    const std::int32_t difference = static_cast<std::int32_t>(a[c]) - static_cast<std::int32_t>(b[c]);
    sum += metric.weight[c] * static_cast<std::uint32_t>(difference * difference);
  }
  return sum;
}

}  // namespace

ColourMetric SrgbDistance() {
  ColourMetric metric;
  std::iota(metric.scale.begin(), metric.scale.end(), 0u);
  metric.weight = {1, 1, 1};
  return metric;
}

ColourMetric LightDistance() {
  ColourMetric metric;
  for (std::size_t i = 0; i < metric.scale.size(); ++i) {
    metric.scale[i] = static_cast<std::uint32_t>(std::lround(LinearLight(static_cast<std::uint8_t>(i)) * kMostScale));
  }
  metric.weight = {1, 1, 1};
  return metric;
}

ColourMetric ChosenDistance() { return LightDistance(); }

NearestColour::NearestColour(const Palette& palette, ReservedIndices reserved, const ColourMetric& metric)
    : palette_(palette), metric_(metric) {
  for (std::size_t index = 0; index < kPaletteColours; ++index) {
    for (std::size_t c = 0; c < 3; ++c) scaled_[index][c] = metric.scale[palette.Colour(index)[c]];
  }
  // A colour repeated is only ever nearest at its lowest index, so the others are left out.
  std::vector<std::uint8_t> allowed;
  for (std::size_t index = 0; index < kPaletteColours; ++index) {
    const bool repeated = std::any_of(allowed.begin(), allowed.end(), [&](std::uint8_t earlier) {
      return std::equal(palette.Colour(earlier), palette.Colour(earlier) + 3, palette.Colour(index));
    });
    if (!reserved.test(index) && !repeated) allowed.push_back(static_cast<std::uint8_t>(index));
  }
  if (allowed.empty()) allowed.push_back(0);  // every index reserved: no caller does that
  lists_ = allowed;
  everyAllowed_ =
      allowed.size() == 1 ? std::uint32_t{allowed[0]} << kLengthBits | 1 : static_cast<std::uint32_t>(allowed.size());
  for (std::size_t level = 0; level < levels_.size(); ++level) {
    levels_[level].bits = kLevelBits[level];
    void* const cells = std::calloc(std::size_t{1} << (3 * kLevelBits[level]), sizeof(std::uint32_t));
    if (cells == nullptr) throw std::bad_alloc();
    levels_[level].cells.reset(static_cast<std::uint32_t*>(cells));
  }
}

std::uint32_t NearestColour::Cell(std::size_t level, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  const std::uint32_t cell = levels_[level].cells[CellOf(levels_[level].bits, red, green, blue)];
  return cell != 0 ? cell : Build(level, red, green, blue);
}

std::span<const std::uint8_t> NearestColour::ListOf(std::uint32_t cell) const {
  const std::uint32_t length = cell & kLengthMask;
  const std::uint32_t offset = cell >> kLengthBits;
  if (length == 1) return {&kEveryIndex[offset], 1};
  return {lists_.data() + offset, length};
}

// The indices of the list around the cell that can be nearest to some colour in it: those
// whose least distance to the cell is no more than the greatest distance to it of one of
// them, which bounds the distance of every colour in the cell to its nearest.
std::uint32_t NearestColour::Build(std::size_t level, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  const std::uint32_t around = level == 0 ? everyAllowed_ : Cell(level - 1, red, green, blue);
  const std::span<const std::uint8_t> wider = ListOf(around);
  const unsigned shift = 8 - levels_[level].bits;
  const std::array<std::uint32_t, 3> first = {red >> shift << shift, green >> shift << shift, blue >> shift << shift};
  std::array<std::uint32_t, 3> low{};
  std::array<std::uint32_t, 3> high{};
  for (std::size_t c = 0; c < 3; ++c) {
    low[c] = metric_.scale[first[c]];
    high[c] = metric_.scale[first[c] + (1u << shift) - 1];
  }
  std::array<std::uint64_t, kPaletteColours> least{};
  std::uint64_t bound = UINT64_MAX;
  for (std::size_t i = 0; i < wider.size(); ++i) {
    const auto& colour = scaled_[wider[i]];
    std::uint64_t most = 0;
    least[i] = 0;
    for (std::size_t c = 0; c < 3; ++c) {
      const std::uint32_t value = colour[c];
      const std::uint32_t outside = value < low[c] ? low[c] - value : (value > high[c] ? value - high[c] : 0);
      least[i] += metric_.weight[c] * std::uint64_t{outside} * outside;
      most += metric_.weight[c] * std::max(Squared(value, low[c]), Squared(value, high[c]));
    }
    bound = std::min(bound, most);
  }
  std::array<std::uint8_t, kPaletteColours> kept{};
  std::size_t count = 0;
  for (std::size_t i = 0; i < wider.size(); ++i) {
    if (least[i] <= bound) kept[count++] = wider[i];
  }
  // The finest cells' lists of two to four are made four long, the last index repeated, so that
  // the search through them takes no branch.
  const bool finest = level + 1 == levels_.size();
  for (; finest && count > 1 && count < kShortList; ++count) kept[count] = kept[count - 1];
  std::uint32_t cell = 0;
  if (count == 1) {
    cell = std::uint32_t{kept[0]} << kLengthBits | 1;
  } else if (count == wider.size() || lists_.size() + count > kMostListEntries) {
    cell = around;
  } else {
    cell = static_cast<std::uint32_t>(lists_.size()) << kLengthBits | static_cast<std::uint32_t>(count);
    lists_.insert(lists_.end(), kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(count));
  }
  levels_[level].cells[CellOf(levels_[level].bits, red, green, blue)] = cell;
  return cell;
}

std::uint8_t NearestColour::Search(std::span<const std::uint8_t> candidates, std::uint8_t red, std::uint8_t green,
                                   std::uint8_t blue) const {
  const std::array<std::uint32_t, 3> value = {metric_.scale[red], metric_.scale[green], metric_.scale[blue]};
  if (candidates.size() == kShortList) {
    // Distance and index in one number: the least is the nearest, the lowest index on a tie.
    std::uint64_t best = UINT64_MAX;
    for (std::size_t i = 0; i < kShortList; ++i) {
      best = std::min(best, std::uint64_t{Distance(metric_, value, scaled_[candidates[i]])} << 8 | candidates[i]);
    }
    return static_cast<std::uint8_t>(best);
  }
  std::uint8_t best = candidates[0];
  std::uint32_t bestDistance = UINT32_MAX;
  for (const std::uint8_t index : candidates) {
    const std::uint32_t distance = Distance(metric_, value, scaled_[index]);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = index;
    }
  }
  return best;
}

std::uint8_t NearestColour::Nearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const std::uint32_t colour = std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
  if (colour == lastColour_) return lastIndex_;
  const Level& finest = levels_.back();
  std::uint32_t cell = finest.cells[CellOf(finest.bits, red, green, blue)];
  if (cell == 0) cell = Build(levels_.size() - 1, red, green, blue);
  lastColour_ = colour;
  lastIndex_ = (cell & kLengthMask) == 1 ? static_cast<std::uint8_t>(cell >> kLengthBits)
                                         : Search(ListOf(cell), red, green, blue);
  return lastIndex_;
}

void NearestColour::MapRow(std::span<const std::uint8_t> rgba, std::span<std::uint8_t> indices,
                           const std::uint8_t* keep) {
  const std::size_t pixels = std::min(indices.size(), rgba.size() / kRgba);
  for (std::size_t x = 0; x < pixels; ++x) {
    const std::uint8_t* pixel = &rgba[x * kRgba];
    if (keep != nullptr && std::equal(pixel, pixel + 3, palette_.Colour(keep[x]))) {
      indices[x] = keep[x];
    } else {
      indices[x] = Nearest(pixel[0], pixel[1], pixel[2]);
    }
  }
}

ErrorDiffusion::ErrorDiffusion(NearestColour& nearest, std::uint32_t width)
    : nearest_(nearest), width_(width), error_(2 * (std::size_t{width} + 2) * 3, 0.0f) {
  for (std::size_t index = 0; index < kPaletteColours; ++index) {
    for (std::size_t c = 0; c < 3; ++c) light_[index][c] = LinearLight(nearest.Colours().Colour(index)[c]);
  }
}

void ErrorDiffusion::MapRow(std::span<const std::uint8_t> rgba, std::span<std::uint8_t> indices,
                            const std::uint8_t* keep) {
  const std::size_t stride = std::size_t{width_} + 2;
  float* here = error_.data();
  float* below = error_.data() + stride * 3;
  const Palette& palette = nearest_.Colours();
  const std::size_t pixels = std::min<std::size_t>({width_, indices.size(), rgba.size() / kRgba});
  for (std::size_t step = 0; step < pixels; ++step) {
    const std::size_t x = leftToRight_ ? step : pixels - 1 - step;
    const std::uint8_t* pixel = &rgba[x * kRgba];
    // Columns of the error rows are one to the right of the image's, for the margin.
    const std::size_t column = x + 1;
    const std::size_t ahead = leftToRight_ ? column + 1 : column - 1;
    const std::size_t behind = leftToRight_ ? column - 1 : column + 1;
    if (keep != nullptr && std::equal(pixel, pixel + 3, palette.Colour(keep[x]))) {
      indices[x] = keep[x];
      continue;
    }
    std::array<float, 3> wanted{};
    std::array<std::uint8_t, 3> encoded{};
    for (std::size_t c = 0; c < 3; ++c) {
      wanted[c] = std::clamp(LinearLight(pixel[c]) + here[column * 3 + c], 0.0f, 1.0f);
      encoded[c] = EncodeLinearLight(wanted[c]);
    }
    const std::uint8_t index = nearest_.Nearest(encoded[0], encoded[1], encoded[2]);
    indices[x] = index;
    for (std::size_t c = 0; c < 3; ++c) {
      const float error = wanted[c] - light_[index][c];
      here[ahead * 3 + c] += error * (7.0f / 16);
      below[behind * 3 + c] += error * (3.0f / 16);
      below[column * 3 + c] += error * (5.0f / 16);
      below[ahead * 3 + c] += error * (1.0f / 16);
    }
  }
  // The row below becomes this one; a fresh row below it.
  std::copy(below, below + stride * 3, here);
  std::fill(below, below + stride * 3, 0.0f);
  leftToRight_ = !leftToRight_;
}

}  // namespace formats
