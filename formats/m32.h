// Reading an m32 texture: the layout is described at the top of m32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/image.h"
#include "formats/tga_writer.h"

namespace formats {

inline constexpr std::size_t kM32HeaderBytes = 968;
// Where the header keeps what a reader checks and a writer fills in (all little-endian).
inline constexpr std::int32_t kM32Version = 4;
inline constexpr std::size_t kM32VersionAt = 0;
inline constexpr std::size_t kM32WidthsAt = 516;     // u32 each, 16 levels
inline constexpr std::size_t kM32HeightsAt = 580;    // u32 each, 16 levels
inline constexpr std::size_t kM32OffsetsAt = 644;    // u32 each, 16 levels
inline constexpr std::size_t kM32BytesPerPixel = 4;  // red, green, blue, alpha
inline constexpr std::size_t kM32Levels = 16;

// A TGA's sides are 16-bit, so no larger image is converted.
inline constexpr std::uint32_t kMaxSide = 65535;

// Where a mip level's pixels lie in the file: width * height * 4 bytes from `offset`,
// counted from the start of the file.
struct MipLevel {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t offset = 0;
};

struct HeaderResult {
  MipLevel level0;
  std::string error;  // empty when level 0 lies wholly inside the file
  bool Ok() const { return error.empty(); }
};

// Checks the first kM32HeaderBytes of a file (all of it when shorter) against the file's
// size, so that the pixels can then be read a piece at a time without looking again.
HeaderResult CheckM32Header(std::span<const std::uint8_t> header, std::uint64_t fileSize);

// What a preview asks of the level it reads: at least so many pixels across, down, and
// on the longer side.
struct LevelFloor {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t longerSide = 0;
};

// The level a preview reads in place of level 0, and the texture it stands for.
struct LevelPick {
  HeaderResult header;    // level 0, or why the texture cannot be read at all
  std::size_t index = 0;  // 0 when no smaller level will do
  MipLevel level;
  bool Ok() const { return header.Ok(); }
};

// Checks the header as CheckM32Header does, then picks the smallest level that meets
// `floor`, or level 0 when none smaller does. The chain of smaller levels ends at the
// first with a side of 0, as other readers end it. A smaller level is only ever picked
// when it lies wholly inside the file and neither side is larger than that of the last
// level trusted before it; one that fails is passed over, never read.
LevelPick PickM32Level(std::span<const std::uint8_t> header, std::uint64_t fileSize, LevelFloor floor);

// The levels the header names, level 0 first, up to the first with a side of 0; unchecked.
std::vector<MipLevel> M32Levels(std::span<const std::uint8_t> header);

// Reads the header, or as much of the source as there is when it is shorter, and
// checks it against the source's size.
HeaderResult ReadM32Header(ByteSource& source);
// The same, then PickM32Level; what the source fails to give is the error.
LevelPick ReadM32Level(ByteSource& source, LevelFloor floor);

// Level 0's rows read from the source into one reusable buffer of at most a block, so
// that a large image is never whole in memory; an m8's indices with `pixelBytes` 1.
class Level0Rows final : public PixelRows {
 public:
  Level0Rows(ByteSource& source, const MipLevel& level0, std::size_t pixelBytes = kM32BytesPerPixel)
      : source_(source), level0_(level0), pixelBytes_(pixelBytes) {}
  std::span<const std::uint8_t> Rows(std::size_t first, std::size_t count) override;

 private:
  ByteSource& source_;
  MipLevel level0_;
  std::size_t pixelBytes_;
  std::vector<std::uint8_t> buffer_;
};

// A preview of a level much larger than it needs (a texture with no mip level small
// enough) reads a stand-in for the missing level: every n-th row and column, the pixel
// at the centre of each n x n block, n the largest that still meets `floor`. The level's
// own size when it is already the smallest that does.
ImageSize SampledSize(const MipLevel& level, LevelFloor floor);

// The size of a preview of `texture` within a square of `limit` pixels: the longer side
// becomes `limit`, the shorter one in proportion, rounded, and never below 1. A texture
// already that small keeps its size.
ImageSize FitWithin(ImageSize texture, std::uint32_t limit);

// The rows of a level, or of its stand-in of `size`: only the rows taken are read, and of
// each only the pixels taken, where they lie far enough apart that reading each alone is
// cheaper than reading what lies between them. Memory follows `size`, not the level.
// Pixels of `pixelBytes` each: 4 for m32's RGBA, 1 for m8's indices.
class SampledRows final : public PixelRows {
 public:
  SampledRows(ByteSource& source, const MipLevel& level, ImageSize size, std::size_t pixelBytes = kM32BytesPerPixel);
  // Row `y` of the stand-in into `pixels`, size.width * pixelBytes bytes; false when the
  // source cannot give it.
  bool ReadRow(std::uint32_t y, std::span<std::uint8_t> pixels);
  // Blocks as Level0Rows gives them, whole rows of the level read at once where none is
  // skipped.
  std::span<const std::uint8_t> Rows(std::size_t first, std::size_t count) override;

 private:
  std::uint64_t RowOffset(std::uint32_t y) const;
  bool ReadColumns(std::uint64_t rowAt, std::span<std::uint8_t> pixels);

  ByteSource& source_;
  MipLevel level_;
  ImageSize size_;
  std::size_t pixelBytes_;
  Level0Rows whole_;                    // when the stand-in is the level itself
  std::vector<std::uint32_t> columns_;  // of the level, for each column of the stand-in
  bool pixelByPixel_ = false;
  std::vector<std::uint8_t> span_;  // from the first column taken to the last
  std::vector<std::uint8_t> buffer_;
};

}  // namespace formats
