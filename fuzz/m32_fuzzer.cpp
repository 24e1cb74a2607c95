// libFuzzer target: any bytes through the m32 reader and, when it accepts them, the
// TGA encoder in both depths and once more from a source that fails part-way, as a file
// cut short in mid-conversion does. The sanitizers catch every out-of-bounds read; the
// checks below catch an encoder that writes the wrong amount, misplaces the first pixel
// or carries on past a source that failed.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "m32.h"
#include "tga.h"

namespace {

constexpr std::size_t kTgaHeaderBytes = 18;
constexpr std::size_t kTgaFooterBytes = 26;

void CheckEncoding(const m32tga::ImageView& image, m32tga::TgaDepth depth, std::size_t depthBytes) {
  const std::vector<std::uint8_t> tga = m32tga::EncodeTga(image, depth);
  const std::size_t pixels = std::size_t{image.width} * image.height;
  if (tga.size() != kTgaHeaderBytes + pixels * depthBytes + kTgaFooterBytes) __builtin_trap();
  // The first pixel written is the bottom row's first, blue first.
  const std::uint8_t* bottomLeft = image.rgba.data() + (pixels - image.width) * m32tga::kM32BytesPerPixel;
  if (tga[kTgaHeaderBytes] != bottomLeft[2] || tga[kTgaHeaderBytes + 2] != bottomLeft[0]) {
    __builtin_trap();
  }
}

// The image's rows, until the block numbered `failingCall` is asked for.
class FailingRows final : public m32tga::PixelRows {
 public:
  FailingRows(const m32tga::ImageView& image, std::size_t failingCall) : image_(image), failingCall_(failingCall) {}
  std::span<const std::uint8_t> Rows(std::size_t first, std::size_t count) override {
    if (calls_++ == failingCall_) return {};
    return image_.Rows(first, count);
  }
  std::size_t Calls() const { return calls_; }

 private:
  m32tga::ImageRows image_;
  std::size_t failingCall_;
  std::size_t calls_ = 0;
};

class DiscardingSink final : public m32tga::ByteSink {
 public:
  bool Write(std::span<const std::uint8_t>) override { return true; }
};

// Finishes only when the failing block was never asked for, and stops right at it.
void CheckFailingSource(const m32tga::ImageView& image, std::size_t failingCall) {
  FailingRows rows(image, failingCall);
  DiscardingSink sink;
  const bool written = m32tga::WriteTga({image.width, image.height}, rows, m32tga::TgaDepth::kBgr24, sink);
  const bool stoppedAtFailure = rows.Calls() == failingCall + 1;
  if (written ? rows.Calls() > failingCall : !stoppedAtFailure) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const m32tga::DecodeResult decoded = m32tga::DecodeM32({data, size});
  if (!decoded.Ok()) return 0;
  if (decoded.image.rgba.data() < data || decoded.image.rgba.data() + decoded.image.rgba.size() > data + size) {
    __builtin_trap();
  }
  CheckEncoding(decoded.image, m32tga::TgaDepth::kBgr24, 3);
  CheckEncoding(decoded.image, m32tga::TgaDepth::kBgra32, 4);
  constexpr std::size_t kFailingCallChoices = 3;
  CheckFailingSource(decoded.image, data[size - 1] % kFailingCallChoices);
  return 0;
}
