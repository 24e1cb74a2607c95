#include "convert.hpp"

#include <algorithm>
#include <string_view>

#include "file_io.hpp"
#include "m32.hpp"

namespace m32tga {
namespace {

bool is_m32_extension(const std::filesystem::path& extension) {
    constexpr std::string_view kM32 = ".m32";
    const auto& name = extension.native();
    const auto lower = [](auto c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    return name.size() == kM32.size() &&
           std::equal(name.begin(), name.end(), kM32.begin(),
                      [&](auto a, char b) { return lower(a) == b; });
}

}  // namespace

std::filesystem::path default_output_for(const std::filesystem::path& input) {
    std::filesystem::path output = input;
    if (is_m32_extension(input.extension())) {
        output.replace_extension(".tga");
    } else {
        output += ".tga";
    }
    return output;
}

std::string convert_file(const std::filesystem::path& input,
                         const std::filesystem::path& output, TgaDepth depth) {
    const InputFile file(input);
    if (!file.error().empty()) return file.error();
    const DecodeResult decoded = decode_m32(file.bytes());
    if (!decoded.ok()) return decoded.error;

    ReplacingFile tga(output);
    if (write_tga(decoded.image, depth, tga) && tga.commit()) return {};
    return tga.error().empty() ? "cannot encode the image as a TGA" : tga.error();
}

}  // namespace m32tga
