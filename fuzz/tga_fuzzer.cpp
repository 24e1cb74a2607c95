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

#include "m32_writer.h"
#include "memory_file.h"
#include "tga_reader.h"
#include "tga_to_m32.h"

namespace {

// Keeps the bytes of level 0's first row and counts the rest.
struct CheckingSink final : m32tga::PositionedSink {
  CheckingSink(std::uint64_t size, std::size_t firstRowBytes) : fileSize(size), firstRow(firstRowBytes) {}
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (offset > fileSize || bytes.size() > fileSize - offset) __builtin_trap();
    written += bytes.size();
    if (offset == m32tga::kM32HeaderBytes)
      std::copy_n(bytes.begin(), std::min(bytes.size(), firstRow.size()), firstRow.begin());
    return true;
  }
  std::uint64_t fileSize;
  std::vector<std::uint8_t> firstRow;
  std::uint64_t written = 0;
};

void CheckConversion(std::span<const std::uint8_t> data) {
  m32tga::MemorySource source(data);
  m32tga::TgaReader tga(source);
  if (!tga.Error().empty()) {
    if (tga.Width() != 0) __builtin_trap();
    return;
  }
  const m32tga::M32Layout layout = m32tga::LayOutM32(tga.Width(), tga.Height());
  CheckingSink sink(layout.fileSize, std::size_t{tga.Width()} * m32tga::kM32BytesPerPixel);
  if (!m32tga::WriteM32(tga, m32tga::DefaultM32Header("fuzz"), sink).empty()) return;
  if (sink.written != layout.fileSize) __builtin_trap();
  m32tga::MemorySource again(data);
  m32tga::TgaReader first(again);
  std::vector<std::uint8_t> row(sink.firstRow.size());
  if (!first.ReadRow(row) || row != sink.firstRow) __builtin_trap();
}

void CheckFailingSource(std::span<const std::uint8_t> data, std::size_t failingRead) {
  MemoryFile source(data, failingRead);
  m32tga::TgaReader tga(source);
  if (!tga.Error().empty()) return;
  const m32tga::M32Layout layout = m32tga::LayOutM32(tga.Width(), tga.Height());
  CheckingSink sink(layout.fileSize, 0);
  const bool written = m32tga::WriteM32(tga, m32tga::DefaultM32Header("fuzz"), sink).empty();
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
