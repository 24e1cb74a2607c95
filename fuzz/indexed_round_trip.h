// What the m8 and WAL fuzz targets share: any bytes read as the texture through a file
// whose reads fail part-way; every row read checked against the file's own indices; the
// level a preview picks checked to lie inside the file; and a texture that reads written
// again like itself, which must give back level 0's indices and, where the writer lays
// its levels out as the file does, those levels too.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/indexed_writer.h"
#include "memory_file.h"

struct MemoryPositionedSink final : formats::PositionedSink {
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> more) override {
    if (bytes.size() < offset + more.size()) bytes.resize(offset + more.size());
    std::copy(more.begin(), more.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
  }
  std::vector<std::uint8_t> bytes;
};

inline void CheckPick(std::span<const std::uint8_t> data, const formats::LevelPick& pick) {
  if (!pick.Ok()) return;
  const formats::MipLevel& level = pick.level;
  if (level.width > pick.header.level0.width || level.height > pick.header.level0.height) __builtin_trap();
  if (level.offset > data.size() || std::uint64_t{level.width} * level.height > data.size() - level.offset)
    __builtin_trap();
}

// Reads level 0 through the palette; when the reads all succeed, writes it again like
// the file itself and checks that nothing of level 0 changed, nor of the file's own
// smaller levels where it has them as the writer lays them out.
inline void CheckRoundTrip(std::span<const std::uint8_t> data, const formats::HeaderResult& header,
                           const formats::Palette& palette, std::size_t failingRead,
                           const std::vector<formats::MipLevel>& levels, const formats::M32Layout& layout,
                           formats::ReservedIndices reserved) {
  if (!header.Ok()) return;
  const formats::MipLevel& level0 = header.level0;
  MemoryFile file(data, failingRead);
  formats::IndexedReader reader(file, header, palette);
  std::vector<std::uint8_t> row(std::size_t{level0.width} * 4);
  for (std::uint32_t y = 0; y < level0.height; ++y) {
    if (!reader.ReadRow(row)) {
      if (file.Error().empty()) __builtin_trap();
      return;
    }
    for (std::size_t x = 0; x < level0.width; ++x) {
      const std::uint8_t* colour = palette.Colour(data[level0.offset + std::size_t{y} * level0.width + x]);
      if (!std::equal(colour, colour + 3, &row[x * 4]) || row[x * 4 + 3] != 255) __builtin_trap();
    }
  }
  if (!layout.error.empty() || std::uint64_t{level0.width} * level0.height > 1 << 16) return;
  MemoryFile again(data, MemoryFile::kNeverFails);
  formats::IndexedReader image(again, header, palette);
  MemoryFile referenceFile(data, MemoryFile::kNeverFails);
  formats::ReferenceLevels reference(referenceFile, levels, 1);
  formats::NearestColour nearest(palette, reserved);
  MemoryPositionedSink sink;
  const std::vector<std::uint8_t> noHeader(layout.levels[0].offset);
  if (!formats::WriteIndexed(image, layout, noHeader, sink, nearest, {}, &reference).empty()) __builtin_trap();
  const auto written = [&](std::size_t i) {
    return sink.bytes.begin() + static_cast<std::ptrdiff_t>(layout.levels[i].offset);
  };
  const auto theirs = [&](std::size_t i) {
    return data.subspan(levels[i].offset, std::size_t{levels[i].width} * levels[i].height);
  };
  if (!std::equal(theirs(0).begin(), theirs(0).end(), written(0))) __builtin_trap();
  const bool laidAlike = std::equal(levels.begin(), levels.end(), layout.levels.begin(), layout.levels.end(),
                                    [&](const formats::MipLevel& level, const formats::MipLevel& ours) {
                                      return level.width == ours.width && level.height == ours.height &&
                                             level.offset <= data.size() &&
                                             std::uint64_t{level.width} * level.height <= data.size() - level.offset;
                                    });
  for (std::size_t i = 1; laidAlike && i < levels.size(); ++i) {
    if (!std::equal(theirs(i).begin(), theirs(i).end(), written(i))) __builtin_trap();
  }
}
