#include "convert.hpp"

#include <algorithm>
#include <array>
#include <string_view>

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

// The header, or as much of the file as there is when it is shorter than one.
HeaderResult read_m32_header(InputFile& input) {
    std::array<std::uint8_t, kM32HeaderBytes> buffer{};
    const std::span<std::uint8_t> header = std::span(buffer).first(
        static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), buffer.size())));
    if (!input.read_at(0, header)) return {Level0{}, input.error()};
    return check_m32_header(header, input.size());
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
    InputFile file(input);
    return convert_file(file, output, depth);
}

std::string convert_file(InputFile& input, const std::filesystem::path& output,
                         TgaDepth depth) {
    if (!input.error().empty()) return input.error();
    const HeaderResult header = read_m32_header(input);
    if (!header.ok()) return header.error;

    const Level0& level0 = header.level0;
    FileRows pixels(input, level0);
    ReplacingFile tga(output);
    if (write_tga({level0.width, level0.height}, pixels, depth, tga) && tga.commit()) return {};
    if (!input.error().empty()) return input.error();
    return tga.error().empty() ? "cannot encode the image as a TGA" : tga.error();
}

}  // namespace m32tga
