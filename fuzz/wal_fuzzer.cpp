// libFuzzer target: any bytes as a WAL texture, with a fixed palette (indexed_round_trip.h).
#include "formats/wal.h"
#include "indexed_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  formats::Palette palette;
  for (std::size_t i = 0; i < palette.rgb.size(); ++i) palette.rgb[i] = static_cast<std::uint8_t>(i * 7 / 3);
  MemoryFile file(bytes, size > 0 ? data[size - 1] % 4 : MemoryFile::kNeverFails);
  const formats::WalRead read = formats::ReadWalHeader(file);
  if (size > 0) CheckPick(bytes, formats::PickWalLevel(bytes, size, {data[size / 2], data[size / 2] / 2u, 1}));
  if (!read.level0.Ok()) return 0;
  const formats::MipLevel& level0 = read.level0.level0;
  CheckRoundTrip(bytes, read.level0, palette, size % 3 == 0 ? MemoryFile::kNeverFails : size % 5,
                 formats::WalLevels(read.header), formats::LayOutWal(level0.width, level0.height),
                 formats::WalReserved());
  return 0;
}
