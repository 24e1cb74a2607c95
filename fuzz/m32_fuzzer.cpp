// libFuzzer target: any bytes through the m32 reader and, when it accepts them, the
// TGA encoder in both depths. The sanitizers catch every out-of-bounds read; the checks
// below catch an encoder that writes the wrong amount or misplaces the first pixel.
#include <cstddef>
#include <cstdint>

#include "m32.hpp"
#include "tga.hpp"

namespace {

constexpr std::size_t kTgaHeaderBytes = 18;
constexpr std::size_t kTgaFooterBytes = 26;
constexpr std::size_t kRgbaBytes = 4;

void check_encoding(const m32tga::ImageView& image, m32tga::TgaDepth depth, std::size_t depth_bytes) {
    const std::vector<std::uint8_t> tga = m32tga::encode_tga(image, depth);
    const std::size_t pixels = std::size_t{image.width} * image.height;
    if (tga.size() != kTgaHeaderBytes + pixels * depth_bytes + kTgaFooterBytes) __builtin_trap();
    // The first pixel written is the bottom row's first, blue first.
    const std::uint8_t* bottom_left = image.rgba.data() + (pixels - image.width) * kRgbaBytes;
    if (tga[kTgaHeaderBytes] != bottom_left[2] || tga[kTgaHeaderBytes + 2] != bottom_left[0]) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const m32tga::DecodeResult decoded = m32tga::decode_m32({data, size});
    if (!decoded.ok()) return 0;
    if (decoded.image.rgba.data() < data || decoded.image.rgba.data() + decoded.image.rgba.size() > data + size) {
        __builtin_trap();
    }
    check_encoding(decoded.image, m32tga::TgaDepth::kBgr24, 3);
    check_encoding(decoded.image, m32tga::TgaDepth::kBgra32, 4);
    return 0;
}
