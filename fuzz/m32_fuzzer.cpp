// libFuzzer target: any bytes through the m32 reader and, when it accepts them, the
// TGA encoder in both depths and once more from a source that fails part-way, as a file
// cut short in mid-conversion does. The sanitizers catch every out-of-bounds read; the
// checks below catch an encoder that writes the wrong amount, misplaces the first pixel
// or carries on past a source that failed.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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

// The image's rows, until the block numbered `failing_call` is asked for.
class FailingRows final : public m32tga::PixelRows {
public:
    FailingRows(const m32tga::ImageView& image, std::size_t failing_call)
        : image_(image), failing_call_(failing_call) {}
    std::span<const std::uint8_t> rows(std::size_t first, std::size_t count) override {
        if (calls_++ == failing_call_) return {};
        return image_.rows(first, count);
    }
    std::size_t calls() const { return calls_; }

private:
    m32tga::ImageRows image_;
    std::size_t failing_call_;
    std::size_t calls_ = 0;
};

class DiscardingSink final : public m32tga::ByteSink {
public:
    bool write(std::span<const std::uint8_t>) override { return true; }
};

// Finishes only when the failing block was never asked for, and stops right at it.
void check_failing_source(const m32tga::ImageView& image, std::size_t failing_call) {
    FailingRows rows(image, failing_call);
    DiscardingSink sink;
    const bool written =
        m32tga::write_tga({image.width, image.height}, rows, m32tga::TgaDepth::kBgr24, sink);
    const bool stopped_at_failure = rows.calls() == failing_call + 1;
    if (written ? rows.calls() > failing_call : !stopped_at_failure) __builtin_trap();
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
    constexpr std::size_t kFailingCallChoices = 3;
    check_failing_source(decoded.image, data[size - 1] % kFailingCallChoices);
    return 0;
}
