// libFuzzer target: any bytes through the TGA reader and, when it accepts them, the m32
// writer, then once more from a source that fails part-way, as a file cut short in
// mid-conversion does. The sanitizers catch every out-of-bounds access; the checks below
// catch a writer that leaves a gap or writes past its file, a first row that differs
// from the reader's, and a conversion that succeeds on a source that failed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/image_to_m32.h"
#include "formats/m32_writer.h"
#include "formats/tga_reader.h"
#include "memory_file.h"

namespace {

// Keeps the bytes of level 0's first row and counts the rest.
struct CheckingSink final : formats::PositionedSink {
  CheckingSink(std::uint64_t size, std::size_t firstRowBytes) : fileSize(size), firstRow(firstRowBytes) {}
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (offset > fileSize || bytes.size() > fileSize - offset) __builtin_trap();
    written += bytes.size();
    if (offset == formats::kM32HeaderBytes)
      std::copy_n(bytes.begin(), std::min(bytes.size(), firstRow.size()), firstRow.begin());
    return true;
  }
  std::uint64_t fileSize;
  std::vector<std::uint8_t> firstRow;
  std::uint64_t written = 0;
};

void CheckConversion(std::span<const std::uint8_t> data) {
  formats::MemorySource source(data);
  formats::TgaReader tga(source);
  if (!tga.Error().empty()) {
    if (tga.Width() != 0) __builtin_trap();
    return;
  }
  const formats::M32Layout layout = formats::LayOutM32(tga.Width(), tga.Height());
  CheckingSink sink(layout.fileSize, std::size_t{tga.Width()} * formats::kM32BytesPerPixel);
  if (!formats::WriteM32(tga, formats::DefaultM32Header("fuzz"), sink).empty()) return;
  if (sink.written != layout.fileSize) __builtin_trap();
  formats::MemorySource again(data);
  formats::TgaReader first(again);
  std::vector<std::uint8_t> row(sink.firstRow.size());
  if (!first.ReadRow(row) || row != sink.firstRow) __builtin_trap();
}

void CheckFailingSource(std::span<const std::uint8_t> data, std::size_t failingRead) {
  MemoryFile source(data, failingRead);
  formats::TgaReader tga(source);
  if (!tga.Error().empty()) return;
  const formats::M32Layout layout = formats::LayOutM32(tga.Width(), tga.Height());
  CheckingSink sink(layout.fileSize, 0);
  const bool written = formats::WriteM32(tga, formats::DefaultM32Header("fuzz"), sink).empty();
  if (written && !source.Error().empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  CheckConversion(bytes);
  constexpr std::size_t kFailingReadChoices = 4;
  if (size > 0) CheckFailingSource(bytes, data[size - 1] % kFailingReadChoices);
  return 0;
}
