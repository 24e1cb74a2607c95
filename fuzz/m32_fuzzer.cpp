// libFuzzer target: any bytes through the code Pellicar.exe runs on a file, the header
// check and the streaming row reader over the bytes as an in-memory file, into the TGA
// writer in both depths; once more over a file whose reads fail part-way, as a file
// cut short in mid-conversion does; and the choice of the mip level a preview reads. The sanitizers catch every
// out-of-bounds read; the checks below catch a writer that writes the wrong amount, misplaces the first pixel or
// carries on past a read that failed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "m32.h"
#include "memory_file.h"
#include "tga.h"

namespace {

constexpr std::size_t kTgaHeaderBytes = 18;
constexpr std::size_t kTgaFooterBytes = 26;

// Counts what the writer gives and keeps its first pixel.
class CountingSink final : public m32tga::ByteSink {
 public:
  bool Write(std::span<const std::uint8_t> bytes) override {
    for (const std::uint8_t byte : bytes) {
      if (written_ >= kTgaHeaderBytes && written_ < kTgaHeaderBytes + sizeof(firstPixel_)) {
        firstPixel_[written_ - kTgaHeaderBytes] = byte;
      }
      ++written_;
    }
    return true;
  }
  std::size_t Written() const { return written_; }
  const std::uint8_t* FirstPixel() const { return firstPixel_; }

 private:
  std::size_t written_ = 0;
  std::uint8_t firstPixel_[3] = {};
};

void CheckWholeConversion(std::span<const std::uint8_t> data, m32tga::TgaDepth depth, std::size_t depthBytes) {
  MemoryFile file(data, MemoryFile::kNeverFails);
  const m32tga::HeaderResult header = m32tga::ReadM32Header(file);
  if (!header.Ok()) return;
  const m32tga::MipLevel& level = header.level0;
  m32tga::Level0Rows rows(file, level);
  CountingSink sink;
  if (!m32tga::WriteTga({level.width, level.height}, rows, depth, sink)) __builtin_trap();
  const std::size_t pixels = std::size_t{level.width} * level.height;
  if (sink.Written() != kTgaHeaderBytes + pixels * depthBytes + kTgaFooterBytes) __builtin_trap();
  // The first pixel written is the bottom row's first, blue first.
  const std::uint8_t* bottomLeft = data.data() + level.offset + (pixels - level.width) * m32tga::kM32BytesPerPixel;
  if (sink.FirstPixel()[0] != bottomLeft[2] || sink.FirstPixel()[2] != bottomLeft[0]) __builtin_trap();
}

// Finishes only when the failing read never came, and stops right at it.
void CheckFailingReads(std::span<const std::uint8_t> data, std::size_t failingRead) {
  MemoryFile file(data, failingRead);
  const m32tga::HeaderResult header = m32tga::ReadM32Header(file);
  if (!header.Ok()) {
    if (file.Reads() > failingRead + 1) __builtin_trap();
    return;
  }
  m32tga::Level0Rows rows(file, header.level0);
  CountingSink sink;
  const bool written =
      m32tga::WriteTga({header.level0.width, header.level0.height}, rows, m32tga::TgaDepth::kBgr24, sink);
  const bool stoppedAtFailure = file.Reads() == failingRead + 1 && !file.Error().empty();
  if (written ? file.Reads() > failingRead : !stoppedAtFailure) __builtin_trap();
}

// A level a preview picks lies wholly inside the file and is no larger than level 0.
void CheckPickedLevel(std::span<const std::uint8_t> data, std::uint32_t side) {
  const m32tga::LevelPick pick = m32tga::PickM32Level(data, data.size(), {side, side / 2, side});
  if (!pick.Ok()) return;
  const m32tga::MipLevel& level = pick.level;
  const std::uint64_t bytes = std::uint64_t{level.width} * level.height * m32tga::kM32BytesPerPixel;
  if (level.width > pick.header.level0.width || level.height > pick.header.level0.height) __builtin_trap();
  if (level.offset > data.size() || bytes > data.size() - level.offset) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  CheckWholeConversion(bytes, m32tga::TgaDepth::kBgr24, 3);
  CheckWholeConversion(bytes, m32tga::TgaDepth::kBgra32, 4);
  constexpr std::size_t kFailingReadChoices = 4;
  if (size > 0) CheckFailingReads(bytes, data[size - 1] % kFailingReadChoices);
  if (size > 0) CheckPickedLevel(bytes, data[size / 2]);
  return 0;
}
