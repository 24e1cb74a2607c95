// m32make PATTERN WIDTH HEIGHT OUTPUT.m32 [PIXELS.raw]
// Draws one of our patterns and writes it as an m32 texture with all its mip levels;
// with a fifth argument, also writes level 0's raw RGBA bytes there.
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <span>
#include <string_view>

#include "patterns.h"
#include "support/image_files.h"

namespace {

bool ParseSide(std::string_view text, std::uint32_t& side) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), side);
  return error == std::errc{} && end == text.data() + text.size() && side > 0;
}

bool WriteFile(const char* path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) std::cerr << "m32make: cannot write " << path << '\n';
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if ((argc != 5 && argc != 6) || !ParseSide(argv[2], width) || !ParseSide(argv[3], height)) {
    std::cerr << "Usage: m32make marble|bricks|sunset|rings|checker|flat WIDTH HEIGHT OUTPUT.m32 [PIXELS.raw]\n";
    return 2;
  }
  const auto image = patterns::DrawPattern(argv[1], width, height);
  if (!image) {
    std::cerr << "m32make: no pattern named " << argv[1] << '\n';
    return 2;
  }
  const std::string name = std::string("textures/pellicar/") + argv[1];
  if (!WriteFile(argv[4], image_files::EncodeM32(*image, name))) return 1;
  if (argc == 6 && !WriteFile(argv[5], image->rgba)) return 1;
  return 0;
}
