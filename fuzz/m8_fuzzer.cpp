// libFuzzer target: any bytes as an m8 texture, and as a palette file (indexed_round_trip.h).
#include "formats/m8.h"
#include "indexed_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  formats::MemorySource paletteFile(bytes);
  (void)formats::ReadPalette(paletteFile);
  MemoryFile file(bytes, size > 0 ? data[size - 1] % 4 : MemoryFile::kNeverFails);
  const formats::M8Read read = formats::ReadM8Header(file);
  if (size > 0) CheckPick(bytes, formats::PickM8Level(bytes, size, {data[size / 2], data[size / 2] / 2u, 1}));
  if (!read.level0.Ok()) return 0;
  const formats::MipLevel& level0 = read.level0.level0;
  // As many levels as the file names, when the writer can lay that many out.
  const std::vector<formats::MipLevel> levels = formats::M8Levels(read.header);
  const formats::M32Layout layout = formats::LayOutM8(level0.width, level0.height, levels.size());
  CheckRoundTrip(bytes, read.level0, formats::M8Palette(read.header),
                 size % 3 == 0 ? MemoryFile::kNeverFails : size % 5, levels, layout, formats::M8Reserved());
  return 0;
}
