#include "convert.h"

#include <algorithm>
#include <string_view>

#include "m32.h"

namespace m32tga {
namespace {

bool IsM32Extension(const std::filesystem::path& extension) {
  constexpr std::string_view kM32 = ".m32";
  const auto& name = extension.native();
  const auto lower = [](auto c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  return name.size() == kM32.size() &&
         std::equal(name.begin(), name.end(), kM32.begin(), [&](auto a, char b) { return lower(a) == b; });
}

}  // namespace

std::filesystem::path DefaultOutputFor(const std::filesystem::path& input) {
  std::filesystem::path output = LongForm(input);
  if (IsM32Extension(output.extension())) {
    output.replace_extension(".tga");
  } else {
    output += ".tga";
  }
  return output;
}

std::string ConvertFile(const std::filesystem::path& input, const std::filesystem::path& output, TgaDepth depth) {
  InputFile file(input);
  return ConvertFile(file, output, depth);
}

std::string ConvertFile(InputFile& input, const std::filesystem::path& output, TgaDepth depth) {
  if (!input.Error().empty()) return input.Error();
  const HeaderResult header = ReadM32Header(input);
  if (!header.Ok()) return header.error;

  const Level0& level0 = header.level0;
  Level0Rows pixels(input, level0);
  ReplacingFile tga(output);
  if (WriteTga({level0.width, level0.height}, pixels, depth, tga) && tga.Commit()) return {};
  if (!input.Error().empty()) return input.Error();
  return tga.Error().empty() ? "cannot encode the image as a TGA" : tga.Error();
}

}  // namespace m32tga
