// libFuzzer target: any bytes through the code Pellicar.exe runs on a file, the header
// check and the streaming row reader over the bytes as an in-memory file, into the TGA
// writer in both depths; once more over a file whose reads fail part-way, as a file
// cut short in mid-conversion does; and the choice of the mip level a preview reads. The sanitizers catch every
// out-of-bounds read; the checks below catch a writer that writes the wrong amount, misplaces the first pixel or
// carries on past a read that failed.
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/m32.h"
#include "formats/tga_writer.h"
#include "memory_file.h"

namespace {

constexpr std::size_t kTgaHeaderBytes = 18;
constexpr std::size_t kTgaFooterBytes = 26;

// Finishes only when the failing read never came, stops right at it, and then writes
// every pixel, the bottom row's first (blue first) at the start.
void CheckConversion(std::span<const std::uint8_t> data, formats::TgaDepth depth, std::size_t depthBytes,
                     std::size_t failingRead) {
  MemoryFile file(data, failingRead);
  const formats::HeaderResult header = formats::ReadM32Header(file);
  if (!header.Ok()) {
    if (failingRead != MemoryFile::kNeverFails && file.Reads() > failingRead + 1) __builtin_trap();
    return;
  }
  const formats::MipLevel& level = header.level0;
  formats::Level0Rows rows(file, level);
  MemorySink sink;
  if (!formats::WriteTga({level.width, level.height}, rows, depth, sink)) {
    if (file.Error().empty() || file.Reads() != failingRead + 1) __builtin_trap();
    return;
  }
  if (file.Reads() > failingRead) __builtin_trap();
  const std::size_t pixels = std::size_t{level.width} * level.height;
  if (sink.bytes.size() != kTgaHeaderBytes + pixels * depthBytes + kTgaFooterBytes) __builtin_trap();
  const std::uint8_t* bottomLeft = data.data() + level.offset + (pixels - level.width) * formats::kM32BytesPerPixel;
  if (sink.bytes[kTgaHeaderBytes] != bottomLeft[2] || sink.bytes[kTgaHeaderBytes + 2] != bottomLeft[0])
    __builtin_trap();
}

// A level a preview picks lies wholly inside the file and is no larger than level 0.
void CheckPickedLevel(std::span<const std::uint8_t> data, std::uint32_t side) {
  const formats::LevelPick pick = formats::PickM32Level(data, data.size(), {side, side / 2, side});
  if (!pick.Ok()) return;
  const formats::MipLevel& level = pick.level;
  const std::uint64_t bytes = std::uint64_t{level.width} * level.height * formats::kM32BytesPerPixel;
  if (level.width > pick.header.level0.width || level.height > pick.header.level0.height) __builtin_trap();
  if (level.offset > data.size() || bytes > data.size() - level.offset) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  CheckConversion(bytes, formats::TgaDepth::kBgr24, 3, MemoryFile::kNeverFails);
  CheckConversion(bytes, formats::TgaDepth::kBgra32, 4, MemoryFile::kNeverFails);
  constexpr std::size_t kFailingReadChoices = 4;
  if (size > 0) CheckConversion(bytes, formats::TgaDepth::kBgr24, 3, data[size - 1] % kFailingReadChoices);
  if (size > 0) CheckPickedLevel(bytes, data[size / 2]);
  return 0;
}
