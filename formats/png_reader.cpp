#include "formats/png_reader.h"

#include <spng.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/m32_writer.h"
#include "system/number_text.h"

namespace formats {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature{137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::size_t kChunkFrameBytes = 12;  // length, type and, after the data, CRC
constexpr std::uint32_t kIhdrBytes = 13;
constexpr std::uint32_t kLongestChunk = 0x7FFFFFFF;
constexpr std::uint64_t kDeflateMostPerByte = 1032;
// What libspng may keep of ancillary chunks: text, profiles and the like.
constexpr std::size_t kAncillaryChunkLimit = std::size_t{1} << 20;
constexpr std::size_t kAncillaryCacheLimit = std::size_t{8} << 20;
constexpr std::size_t kRgba = 4;

std::uint32_t BigU32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// Samples per pixel of each colour type; 0 for a type PNG does not have.
std::uint32_t Channels(std::uint8_t colourType) {
  switch (colourType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
  }
}

// A chunk's type as a message shows it: four letters, anything else as '?'.
std::string DisplayChunk(std::string type) {
  for (char& c : type) c = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? c : '?';
  return type;
}

struct Survey {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t depth = 0;
  std::uint8_t colourType = 0;
  std::uint8_t interlace = 0;
  std::uint64_t compressedBytes = 0;
  std::string error;
};

std::string ReadFailure(const ByteSource& source, std::string_view otherwise) {
  return source.Error().empty() ? std::string(otherwise) : source.Error();
}

// The header and the sum of the IDAT chunks' lengths, each chunk checked to lie wholly
// inside the file, up to IEND.
Survey SurveyChunks(ByteSource& source) {
  Survey survey;
  std::array<std::uint8_t, kSignature.size() + 8 + kIhdrBytes> head{};
  if (source.Size() < head.size() || !source.ReadAt(0, head)) {
    survey.error = ReadFailure(source, "not a PNG: the file is too short");
    return survey;
  }
  if (!std::equal(kSignature.begin(), kSignature.end(), head.begin())) {
    survey.error = "not a PNG: the signature is wrong";
    return survey;
  }
  if (BigU32(&head[8]) != kIhdrBytes || std::memcmp(&head[12], "IHDR", 4) != 0) {
    survey.error = "not a PNG: IHDR is not its first chunk";
    return survey;
  }
  survey.width = BigU32(&head[16]);
  survey.height = BigU32(&head[20]);
  survey.depth = head[24];
  survey.colourType = head[25];
  survey.interlace = head[28];
  for (std::uint64_t at = kSignature.size();;) {
    std::array<std::uint8_t, 8> frame{};
    if (source.Size() - at < kChunkFrameBytes) {
      survey.error = "the PNG is cut short: it ends before its IEND chunk";
      return survey;
    }
    if (!source.ReadAt(at, frame)) {
      survey.error = ReadFailure(source, "cannot read the PNG");
      return survey;
    }
    const std::uint32_t length = BigU32(frame.data());
    const std::string type(frame.begin() + 4, frame.end());
    if (length > kLongestChunk || source.Size() - at - kChunkFrameBytes < length) {
      survey.error = "the PNG is cut short in its " + DisplayChunk(type) + " chunk";
      return survey;
    }
    if (type == "IDAT") survey.compressedBytes += length;
    at += kChunkFrameBytes + length;
    if (type == "IEND") return survey;
  }
}

// Refused before anything is decoded: a side an m32 cannot hold, or too little
// compressed data for the filtered rows the header declares.
std::string SurveyMistake(const Survey& survey) {
  if (!survey.error.empty()) return survey.error;
  const M32Layout layout = LayOutM32(survey.width, survey.height);
  if (!layout.error.empty()) return layout.error;
  const std::uint64_t rowBits = std::uint64_t{survey.width} * Channels(survey.colourType) * survey.depth;
  const std::uint64_t filtered = survey.height * (1 + (rowBits + 7) / 8);
  if (survey.compressedBytes * kDeflateMostPerByte < filtered) {
    return "the PNG holds " + sys::WithSeparators(survey.compressedBytes) +
           " bytes of compressed image data, too few for " + sys::WithSeparators(survey.width) + " x " +
           sys::WithSeparators(survey.height) + " pixels";
  }
  return {};
}

// A 16-bit sample to the nearest 8-bit one: v / 257, rounded.
std::uint8_t Nearest8(std::uint16_t sample) {
  return static_cast<std::uint8_t>((2 * std::uint32_t{sample} + 257) / 514);
}

void Round16To8(const std::uint8_t* rgba16, std::span<std::uint8_t> rgba) {
  for (std::size_t i = 0; i < rgba.size(); ++i) {
    std::uint16_t sample = 0;
    std::memcpy(&sample, rgba16 + 2 * i, 2);  // libspng gives them in the machine's order
    rgba[i] = Nearest8(sample);
  }
}

// Each 8-bit sample as the 16-bit one that rounds back to it (v * 257).
void Widen8To16(std::span<const std::uint8_t> rgba, std::uint8_t* rgba16) {
  for (std::size_t i = 0; i < rgba.size(); ++i) {
    const auto sample = static_cast<std::uint16_t>(rgba[i] * 257);
    std::memcpy(rgba16 + 2 * i, &sample, 2);
  }
}

// A palette image is decoded as its indices, each one's red, green and blue being the
// index itself, and coloured here: libspng 0.7 would show an index past the end of the
// palette as opaque black, like a real entry, and this way the indices can be had too.
struct PaletteImage {
  std::uint32_t entries = 0;
  std::vector<std::uint8_t> colours;  // red, green, blue an entry, as PLTE holds them
  std::array<std::uint8_t, 256> alphas{};
};

std::optional<PaletteImage> DecodeAsIndices(spng_ctx* context, std::uint8_t depth) {
  spng_plte palette{};
  // libspng has checked the header once it gives the palette: a depth of 1 to 8 bits.
  if (spng_get_plte(context, &palette) != 0 || depth > 8) return std::nullopt;
  PaletteImage image;
  image.entries = palette.n_entries;
  image.alphas.fill(255);
  spng_trns transparency{};
  if (spng_get_trns(context, &transparency) == 0) {
    std::copy_n(transparency.type3_alpha, std::min<std::uint32_t>(transparency.n_type3_entries, 256),
                image.alphas.begin());
  }
  for (std::uint32_t i = 0; i < palette.n_entries; ++i) {
    const spng_plte_entry& entry = palette.entries[i];
    image.colours.insert(image.colours.end(), {entry.red, entry.green, entry.blue});
  }
  palette.n_entries = 1u << depth;
  for (std::uint32_t i = 0; i < palette.n_entries; ++i) {
    const auto index = static_cast<std::uint8_t>(i);
    palette.entries[i] = {index, index, index, 255};
  }
  if (spng_set_plte(context, &palette) != 0) return std::nullopt;
  return image;
}

class PngRows final : public RowReader::Rows {
 public:
  explicit PngRows(ByteSource& source) : source_(source) { Open(); }
  ~PngRows() override { spng_ctx_free(context_); }
  PngRows(const PngRows&) = delete;
  PngRows& operator=(const PngRows&) = delete;

  const std::string& Error() const override { return error_; }
  std::uint32_t Width() const override { return width_; }
  std::uint32_t Height() const override { return height_; }

  void KeepRowsIn(PositionedSink& store, std::uint64_t offset) override {
    store_ = &store;
    storeAt_ = offset;
  }

  std::span<const std::uint8_t> PaletteColours() const override {
    return palette_ ? std::span<const std::uint8_t>(palette_->colours) : std::span<const std::uint8_t>();
  }

  bool ReadRow(std::span<std::uint8_t> rgba) override {
    if (!NextRow(rgba)) return false;
    if (palette_) {
      for (std::size_t at = 0; at < rgba.size(); at += kRgba) {
        const std::uint8_t index = rgba[at];
        std::copy_n(&palette_->colours[index * 3], 3, &rgba[at]);
        rgba[at + 3] = palette_->alphas[index];
      }
    }
    return true;
  }

  bool ReadIndexRow(std::span<std::uint8_t> indices) override {
    if (!palette_ || indices.size() != width_) return false;
    coded_.resize(std::size_t{width_} * kRgba);
    if (!NextRow(coded_)) return false;
    for (std::size_t x = 0; x < indices.size(); ++x) indices[x] = coded_[x * kRgba];
    return true;
  }

 private:
  // The next row as decoded: a palette image's indices in its red, green and blue.
  bool NextRow(std::span<std::uint8_t> rgba) {
    if (!error_.empty() || rowsRead_ == height_ || rgba.size() != std::size_t{width_} * kRgba) return false;
    if (interlaced_) {
      if (rowsRead_ == 0 && !DecodePasses()) return false;
      if (!store_->ReadAt(StoredRowAt(rowsRead_), rgba)) return Fail(ReadFailure(source_, "cannot read back a row"));
    } else if (!DecodeRow(rgba)) {
      return false;
    }
    if (palette_ && PastThePalette(rgba)) {
      return Fail("row " + sys::WithSeparators(rowsRead_ + 1) +
                  " of the PNG holds a palette index past the end of its " + sys::WithSeparators(palette_->entries) +
                  "-colour palette");
    }
    ++rowsRead_;
    // What follows the image, to IEND, is read and its CRCs checked before the last row
    // counts; an interlaced image's, before its first.
    return rowsRead_ < height_ || interlaced_ || Check(spng_decode_chunks(context_));
  }

  bool PastThePalette(std::span<const std::uint8_t> coded) const {
    std::uint8_t most = 0;
    for (std::size_t at = 0; at < coded.size(); at += kRgba) most = std::max(most, coded[at]);
    return most >= palette_->entries;
  }

  void Open() {
    const Survey survey = SurveyChunks(source_);
    error_ = SurveyMistake(survey);
    if (!error_.empty()) return;
    context_ = spng_ctx_new(0);
    if (context_ == nullptr) throw std::bad_alloc();
    sixteen_ = survey.depth == 16;
    width_ = survey.width;
    interlaced_ = survey.interlace != 0;
    const int format = sixteen_ ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
    Check(spng_set_crc_action(context_, SPNG_CRC_ERROR, SPNG_CRC_ERROR)) &&
        Check(spng_set_png_stream(context_, &PngRows::Read, this)) &&
        Check(spng_set_image_limits(context_, kMaxSide, kMaxSide)) &&
        Check(spng_set_chunk_limits(context_, kAncillaryChunkLimit, kAncillaryCacheLimit)) && Start(survey, format);
    if (error_.empty())
      height_ = survey.height;
    else
      width_ = 0;
  }

  static int Read(spng_ctx*, void* user, void* bytes, std::size_t length) {
    PngRows& state = *static_cast<PngRows*>(user);
    if (state.source_.Size() - state.at_ < length) return SPNG_IO_EOF;
    if (!state.source_.ReadAt(state.at_, {static_cast<std::uint8_t*>(bytes), length})) return SPNG_IO_ERROR;
    state.at_ += length;
    return 0;
  }

  bool Check(int status) {
    if (status == 0) return true;
    return Fail(ReadFailure(source_, std::string("not a readable PNG: ") + spng_strerror(status)));
  }

  bool Fail(std::string reason) {
    if (error_.empty()) error_ = std::move(reason);
    return false;
  }

  // A row at a time, whether interlaced or not; a 16-bit row is rounded from a buffer of
  // its own.
  bool Start(const Survey& survey, int format) {
    if (survey.colourType == 3) {
      palette_ = DecodeAsIndices(context_, survey.depth);
      if (!palette_) return Fail("not a readable PNG: its palette cannot be read");
    }
    if (sixteen_) image_.resize(std::size_t{width_} * kRgba * 2);
    return Check(spng_decode_image(context_, nullptr, 0, format, SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE));
  }

  // The next row of a file that is not interlaced.
  bool DecodeRow(std::span<std::uint8_t> rgba) {
    std::uint8_t* into = sixteen_ ? image_.data() : rgba.data();
    const int status = spng_decode_row(context_, into, rgba.size() * (sixteen_ ? 2 : 1));
    if (status != 0 && status != SPNG_EOI && !Check(status)) return false;
    if (sixteen_) Round16To8(into, rgba);
    return true;
  }

  std::uint64_t StoredRowAt(std::uint32_t y) const { return storeAt_ + std::uint64_t{y} * width_ * kRgba; }

  // Every pass of an interlaced image, each row of a pass put into its row in the store:
  // libspng fills in the pass's pixels and leaves the others as they were, so a row
  // some earlier pass reached is read back first.
  bool DecodePasses() {
    if (store_ == nullptr) return Fail("an interlaced PNG is read only into an m32");
    std::vector<std::uint8_t> row(std::size_t{width_} * kRgba);
    std::vector<bool> reached(height_);
    for (;;) {
      spng_row_info info{};
      int status = spng_get_row_info(context_, &info);
      if (status == SPNG_EOI) break;
      if (!Check(status)) return false;
      const std::uint32_t y = info.row_num;
      if (y >= height_) return Fail("not a readable PNG: a row past its last");
      if (reached[y] && !store_->ReadAt(StoredRowAt(y), row))
        return Fail(ReadFailure(source_, "cannot read back a row"));
      if (sixteen_ && reached[y]) Widen8To16(row, image_.data());
      status = spng_decode_row(context_, sixteen_ ? image_.data() : row.data(), row.size() * (sixteen_ ? 2 : 1));
      if (status != 0 && status != SPNG_EOI && !Check(status)) return false;
      if (sixteen_) Round16To8(image_.data(), row);
      if (!store_->WriteAt(StoredRowAt(y), row)) return Fail("cannot write a row of the m32");
      reached[y] = true;
      if (status == SPNG_EOI) break;
    }
    return Check(spng_decode_chunks(context_));
  }

  ByteSource& source_;
  spng_ctx* context_ = nullptr;
  std::uint64_t at_ = 0;
  bool sixteen_ = false;
  bool interlaced_ = false;
  std::optional<PaletteImage> palette_;  // of a palette image
  std::vector<std::uint8_t> coded_;      // a row of indices as decoded
  PositionedSink* store_ = nullptr;
  std::uint64_t storeAt_ = 0;
  std::uint32_t rowsRead_ = 0;
  std::vector<std::uint8_t> image_;  // a 16-bit row
  std::string error_;
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
};

}  // namespace

PngReader::PngReader(ByteSource& source) : RowReader(std::make_unique<PngRows>(source)) {}

}  // namespace formats
