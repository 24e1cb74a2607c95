// libFuzzer target: any bytes through the PNG reader and, when it reads every row, the
// PNG writer and the reader once more. The sanitizers catch every out-of-bounds access;
// the check below catches a writer or reader that loses or changes a pixel.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "memory_file.h"
#include "png_reader.h"
#include "png_writer.h"
#include "tga_reader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every row, or nothing when the reader refused the file somewhere.
Bytes ReadAll(std::span<const std::uint8_t> png, m32tga::ImageSize& size) {
  m32tga::MemorySource source(png);
  m32tga::PngReader reader(source);
  size = {reader.Width(), reader.Height()};
  Bytes rgba(std::size_t{size.width} * size.height * 4);
  const std::size_t rowBytes = std::size_t{size.width} * 4;
  for (std::uint32_t y = 0; y < size.height; ++y) {
    if (!reader.ReadRow(std::span(rgba).subspan(y * rowBytes, rowBytes))) return {};
  }
  return reader.Error().empty() ? rgba : Bytes{};
}

class Pixels final : public m32tga::PixelRows {
 public:
  Pixels(const Bytes& rgba, std::size_t rowBytes) : rgba_(rgba), rowBytes_(rowBytes) {}
  std::span<const std::uint8_t> Rows(std::size_t first, std::size_t count) override {
    return std::span(rgba_).subspan(first * rowBytes_, count * rowBytes_);
  }

 private:
  const Bytes& rgba_;
  std::size_t rowBytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  m32tga::ImageSize shape;
  const Bytes rgba = ReadAll({data, size}, shape);
  if (rgba.empty()) return 0;
  Pixels pixels(rgba, std::size_t{shape.width} * 4);
  MemorySink png;
  if (!m32tga::WritePng(shape, pixels, true, png).empty()) __builtin_trap();
  m32tga::ImageSize again;
  if (ReadAll(png.bytes, again) != rgba) __builtin_trap();
  return 0;
}
