// The PNG as this writer makes it. Every number is big-endian.
//
// The 8-byte signature, then chunks: a u32 length of the data, 4 letters of type, the
// data, and the CRC-32 of the type and the data. IHDR (13 bytes: width u32, height u32,
// bit depth, colour type, compression 0, filter 0, interlace 0), PLTE (3 bytes of red,
// green, blue an entry) and tRNS (an alpha an entry, for the first entries only) for a
// palette, IDAT pieces that together make one zlib stream, and an empty IEND.
//
// Colour types: 0 grey (1, 2, 4 or 8 bits), 2 RGB, 3 palette index (1, 2, 4 or 8 bits),
// 4 grey then alpha, 6 RGBA. Samples of fewer than 8 bits are packed from the top bit of
// each byte down, and a row ends on a whole byte.
//
// What the zlib stream holds is the rows, top first, each a filter-type byte and then
// the row less a prediction from its neighbours: 0 none, 1 the byte a pixel to the left
// (Sub), 2 the byte above (Up), 3 their average rounded down (Average), 4 whichever of
// left, above and upper left is nearest to left + above - upper left (Paeth); where the
// neighbour lies outside the image it is 0.

#include "formats/png_writer.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace formats {
namespace {

constexpr std::size_t kRgba = 4;
constexpr std::size_t kAlpha = 3;
constexpr std::uint8_t kOpaque = 255;
constexpr std::size_t kMostPaletteColours = 256;

enum ColourType : std::uint8_t { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgbaType = 6 };

constexpr std::array<std::uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kIhdrBytes = 13;
constexpr std::size_t kChunkFrameBytes = 12;  // length, type and CRC
// The compressed data goes out in IDAT chunks of this much.
constexpr std::size_t kIdatBytes = std::size_t{64} * 1024;
static_assert(kIdatBytes + kChunkFrameBytes <= kChunkBytes);

// Compression, measured over the 417 textures of bench/png.sh against ImageMagick at its
// defaults (zlib level 7, a filter picked per row), with the same filters: libdeflate at
// level 7 makes 1.9% fewer bytes in all, level 6 1.4% fewer in three quarters of the
// time but 20% more than ImageMagick on a picture with wide flat parts (bench's sunset);
// zlib level 6 makes 0.5% fewer in twice level 7's time, level 5 0.4% more than
// ImageMagick. libdeflate takes the whole image at once, so
// it does only images of up to kWholeImageBytes (a 1024 x 1024 RGBA texture, the most
// these games use), filtered and compressed, so twice that in memory at most; larger
// ones stream through zlib.
constexpr int kLibdeflateLevel = 7;
constexpr int kZlibLevel = 6;
constexpr std::size_t kWholeImageBytes = std::size_t{4} * 1024 * 1024;

// Calls `take` with each row of the image, top first, until it returns false; false
// when the source failed or `take` stopped.
template <typename Take>
bool EachRow(ImageSize size, PixelRows& pixels, Take take, std::size_t pixelBytes = kRgba) {
  const std::size_t rowBytes = std::size_t{size.width} * pixelBytes;
  for (std::size_t first = 0; first < size.height;) {
    const std::size_t count = std::min(std::max<std::size_t>(1, kChunkBytes / rowBytes), size.height - first);
    const std::span<const std::uint8_t> block = pixels.Rows(first, count);
    if (block.size() != count * rowBytes) return false;
    for (std::size_t row = 0; row < count; ++row) {
      if (!take(block.subspan(row * rowBytes, rowBytes))) return false;
    }
    first += count;
  }
  return true;
}

std::uint32_t PixelAt(std::span<const std::uint8_t> row, std::size_t x) {
  std::uint32_t pixel = 0;
  std::memcpy(&pixel, &row[x * kRgba], kRgba);
  return pixel;
}

std::array<std::uint8_t, kRgba> Channels(std::uint32_t pixel) {
  std::array<std::uint8_t, kRgba> rgba{};
  std::memcpy(rgba.data(), &pixel, kRgba);
  return rgba;
}

// The colours of an image up to one more than a palette holds, each with its index, in
// a table of fixed size: memory does not follow the image.
class ColourSet {
 public:
  // False once the image has more colours than a palette holds.
  bool Add(std::uint32_t colour) {
    if (!colours_.empty() && colour == last_) return true;
    const std::size_t slot = SlotOf(colour);
    if (indices_[slot] == 0) {
      if (colours_.size() > kMostPaletteColours) return false;
      colours_.push_back(colour);
      keys_[slot] = colour;
      indices_[slot] = static_cast<std::uint16_t>(colours_.size());
    }
    last_ = colour;
    lastIndex_ = static_cast<std::uint8_t>(indices_[slot] - 1);
    return colours_.size() <= kMostPaletteColours;
  }

  // The index of a colour already added.
  std::uint8_t IndexOf(std::uint32_t colour) {
    if (colour != last_) {
      last_ = colour;
      lastIndex_ = static_cast<std::uint8_t>(indices_[SlotOf(colour)] - 1);
    }
    return lastIndex_;
  }

  std::size_t Size() const { return colours_.size(); }
  const std::vector<std::uint32_t>& Colours() const { return colours_; }

  // Colours not wholly opaque first, so that tRNS lists only them; the order of first
  // sight otherwise. Returns how many are not opaque.
  std::size_t PutTransparentFirst() {
    const auto opaque = std::stable_partition(colours_.begin(), colours_.end(),
                                              [](std::uint32_t c) { return Channels(c)[kAlpha] != kOpaque; });
    for (std::size_t i = 0; i < colours_.size(); ++i) indices_[SlotOf(colours_[i])] = static_cast<std::uint16_t>(i + 1);
    last_ = colours_.front();
    lastIndex_ = 0;
    return static_cast<std::size_t>(opaque - colours_.begin());
  }

 private:
  static constexpr unsigned kSlotBits = 10;  // at most a quarter full: short probes

  // The colour's slot, or the empty one where it would go.
  std::size_t SlotOf(std::uint32_t colour) const {
    constexpr std::uint32_t kGolden = 0x9E3779B1u;
    std::size_t slot = (colour * kGolden) >> (32 - kSlotBits);
    while (indices_[slot] != 0 && keys_[slot] != colour) slot = (slot + 1) % keys_.size();
    return slot;
  }

  std::array<std::uint32_t, 1 << kSlotBits> keys_{};
  std::array<std::uint16_t, 1 << kSlotBits> indices_{};  // index + 1; 0 for an empty slot
  std::vector<std::uint32_t> colours_;
  std::uint32_t last_ = 0;
  std::uint8_t lastIndex_ = 0;
};

// The fewest bits that hold a grey value exactly: 1 for 0 and 255, 2 for multiples of
// 85, 4 for multiples of 17, else 8.
constexpr std::uint8_t GreyBits(unsigned value) {
  if (value % 255 == 0) return 1;
  if (value % 85 == 0) return 2;
  return value % 17 == 0 ? 4 : 8;
}

// What a first pass over the pixels learns.
struct Survey {
  bool opaque = true;
  bool grey = true;
  std::uint8_t greyBits = 1;
  bool fewColours = true;  // at most a palette's worth
  ColourSet colours;

  // False once nothing more can be learnt.
  bool Take(std::span<const std::uint8_t> row) {
    for (std::size_t x = 0; x < row.size() / kRgba; ++x) {
      const std::uint8_t* pixel = &row[x * kRgba];
      opaque = opaque && pixel[kAlpha] == kOpaque;
      grey = grey && pixel[0] == pixel[1] && pixel[1] == pixel[2];
      if (grey) greyBits = std::max(greyBits, GreyBits(pixel[0]));
      fewColours = fewColours && colours.Add(PixelAt(row, x));
    }
    return opaque || grey || fewColours;
  }
};

struct PngKind {
  ColourType colourType = kRgbaType;
  std::uint8_t depth = 8;

  std::size_t Channels() const { return std::array<std::size_t, 7>{1, 0, 3, 1, 2, 0, 4}[colourType]; }
  std::size_t RowBytes(std::size_t width) const { return (width * Channels() * depth + 7) / 8; }
  // The distance to the byte a pixel to the left; 1 for packed samples.
  std::size_t PixelBytes() const { return std::max<std::size_t>(1, Channels() * depth / 8); }
  // Palette indices and packed samples compress best as they are, as libpng finds.
  bool Filtered() const { return colourType != kPalette && depth == 8; }
};

std::uint8_t PaletteBits(std::size_t colours) {
  if (colours <= 2) return 1;
  if (colours <= 4) return 2;
  return colours <= 16 ? 4 : 8;
}

// The kind that takes the fewest bits a pixel; on a tie the earlier in the list.
PngKind ChooseKind(const Survey& survey, bool keepAlpha) {
  struct Candidate {
    bool fits;
    PngKind kind;
    unsigned bits;
  };
  const std::uint8_t paletteBits = PaletteBits(survey.colours.Size());
  const Candidate candidates[] = {
      {survey.grey && survey.opaque && !keepAlpha, {kGrey, survey.greyBits}, survey.greyBits},
      {survey.fewColours && !keepAlpha, {kPalette, paletteBits}, paletteBits},
      {survey.grey, {kGreyAlpha, 8}, 16},
      {survey.opaque && !keepAlpha, {kRgb, 8}, 24},
      {true, {kRgbaType, 8}, 32},
  };
  const Candidate* best = &candidates[std::size(candidates) - 1];
  for (const Candidate& candidate : candidates) {
    if (candidate.fits && candidate.bits < best->bits) best = &candidate;
  }
  return best->kind;
}

// One row of RGBA pixels in the PNG's own form.
class RowPacker {
 public:
  RowPacker(PngKind kind, std::size_t width, ColourSet& colours)
      : kind_(kind), colours_(colours), row_(kind.RowBytes(width)) {}

  std::span<const std::uint8_t> Pack(std::span<const std::uint8_t> rgba) {
    const std::size_t width = rgba.size() / kRgba;
    switch (kind_.colourType) {
      case kRgbaType: return rgba;
      case kRgb:
        for (std::size_t x = 0; x < width; ++x) std::copy_n(&rgba[x * kRgba], 3, &row_[x * 3]);
        break;
      case kGreyAlpha:
        for (std::size_t x = 0; x < width; ++x) {
          row_[2 * x] = rgba[x * kRgba];
          row_[2 * x + 1] = rgba[x * kRgba + kAlpha];
        }
        break;
      case kGrey: PackSamples(width, [&](std::size_t x) { return rgba[x * kRgba]; }); break;
      case kPalette: PackSamples(width, [&](std::size_t x) { return colours_.IndexOf(PixelAt(rgba, x)); }); break;
    }
    return row_;
  }

 private:
  // One sample a pixel: a grey value, scaled to the depth, or a palette index.
  template <typename Sample>
  void PackSamples(std::size_t width, Sample sample) {
    const unsigned bits = kind_.depth;
    if (bits == 8) {
      for (std::size_t x = 0; x < width; ++x) row_[x] = sample(x);
      return;
    }
    const unsigned step = kind_.colourType == kGrey ? kOpaque / ((1u << bits) - 1) : 1;
    std::fill(row_.begin(), row_.end(), 0);
    for (std::size_t x = 0; x < width; ++x) {
      const std::size_t bit = x * bits;
      row_[bit / 8] = static_cast<std::uint8_t>(row_[bit / 8] | sample(x) / step << (8 - bits - bit % 8));
    }
  }

  PngKind kind_;
  ColourSet& colours_;
  std::vector<std::uint8_t> row_;
};

// Each row with its filter-type byte in front: the filter whose output has the smallest
// sum of absolute values, read as signed bytes, as libpng picks.
class RowFilter {
 public:
  RowFilter(PngKind kind, std::size_t width)
      : filtered_(kind.Filtered()), pixelBytes_(kind.PixelBytes()), above_(kind.RowBytes(width)) {
    for (auto& candidate : candidates_) candidate.resize(above_.size() + 1);
  }

  std::span<const std::uint8_t> Filter(std::span<const std::uint8_t> row) {
    if (!filtered_) {
      std::copy(row.begin(), row.end(), candidates_[0].begin() + 1);
      return candidates_[0];
    }
    const std::vector<std::uint8_t>* best = nullptr;
    std::uint32_t bestSum = std::numeric_limits<std::uint32_t>::max();
    for (unsigned type = 0; type < kPngFilters; ++type) {
      std::vector<std::uint8_t>& candidate = candidates_[type];
      candidate[0] = static_cast<std::uint8_t>(type);
      const std::uint32_t sum = FilterPngRow(type, row.data(), above_.data(), row.size(), pixelBytes_, &candidate[1]);
      if (best == nullptr || sum < bestSum) {
        bestSum = sum;
        best = &candidate;
      }
    }
    std::copy(row.begin(), row.end(), above_.begin());
    return *best;
  }

 private:
  bool filtered_;
  std::size_t pixelBytes_;
  std::vector<std::uint8_t> above_;  // zeros above the top row
  std::array<std::vector<std::uint8_t>, kPngFilters> candidates_;
};

// Pieces of the file, framed as chunks, into the sink.
class ChunkWriter {
 public:
  explicit ChunkWriter(ByteSink& sink) : sink_(sink) {}

  bool Signature() { return sink_.Write(kSignature); }

  bool Chunk(std::string_view type, std::span<const std::uint8_t> data) {
    frame_.clear();
    PutU32(static_cast<std::uint32_t>(data.size()));
    frame_.insert(frame_.end(), type.begin(), type.end());
    frame_.insert(frame_.end(), data.begin(), data.end());
    PutU32(static_cast<std::uint32_t>(crc32(0, &frame_[4], static_cast<uInt>(frame_.size() - 4))));
    return sink_.Write(frame_);
  }

  // Compressed image data, as many IDAT chunks as it takes.
  bool Idat(std::span<const std::uint8_t> data) {
    for (std::size_t at = 0; at < data.size(); at += kIdatBytes) {
      if (!Chunk("IDAT", data.subspan(at, std::min(kIdatBytes, data.size() - at)))) return false;
    }
    return true;
  }

 private:
  void PutU32(std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) frame_.push_back(static_cast<std::uint8_t>(value >> shift));
  }

  ByteSink& sink_;
  std::vector<std::uint8_t> frame_;
};

// The filtered rows into one zlib stream, written out as IDAT chunks.
class Compressor {
 public:
  virtual ~Compressor() = default;
  virtual bool Add(std::span<const std::uint8_t> filteredRow) = 0;
  virtual bool Finish() = 0;
};

// The whole image at once through libdeflate.
class WholeImageCompressor final : public Compressor {
 public:
  WholeImageCompressor(ChunkWriter& chunks, std::size_t bytes) : chunks_(chunks) { rows_.reserve(bytes); }

  bool Add(std::span<const std::uint8_t> filteredRow) override {
    rows_.insert(rows_.end(), filteredRow.begin(), filteredRow.end());
    return true;
  }

  bool Finish() override {
    const std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
        libdeflate_alloc_compressor(kLibdeflateLevel), libdeflate_free_compressor);
    if (!compressor) throw std::bad_alloc();
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), rows_.size());
    const std::unique_ptr<std::uint8_t[]> stream(new std::uint8_t[bound]);  // not set to 0: all written first
    const std::size_t length =
        libdeflate_zlib_compress(compressor.get(), rows_.data(), rows_.size(), stream.get(), bound);
    return length != 0 && chunks_.Idat({stream.get(), length});
  }

 private:
  ChunkWriter& chunks_;
  std::vector<std::uint8_t> rows_;
};

// A row at a time through zlib, for images too large to hold.
class StreamCompressor final : public Compressor {
 public:
  explicit StreamCompressor(ChunkWriter& chunks) : chunks_(chunks), out_(kIdatBytes) {
    if (deflateInit(&stream_, kZlibLevel) != Z_OK) throw std::bad_alloc();
  }
  ~StreamCompressor() override { deflateEnd(&stream_); }
  StreamCompressor(const StreamCompressor&) = delete;
  StreamCompressor& operator=(const StreamCompressor&) = delete;

  bool Add(std::span<const std::uint8_t> filteredRow) override { return Deflate(filteredRow, Z_NO_FLUSH); }
  bool Finish() override { return Deflate({}, Z_FINISH); }

 private:
  bool Deflate(std::span<const std::uint8_t> bytes, int flush) {
    // zlib reads without writing; its interface predates const.
    stream_.next_in = const_cast<Bytef*>(bytes.data());
    stream_.avail_in = static_cast<uInt>(bytes.size());
    for (;;) {
      stream_.next_out = out_.data() + used_;
      stream_.avail_out = static_cast<uInt>(out_.size() - used_);
      const int status = deflate(&stream_, flush);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) return false;
      used_ = out_.size() - stream_.avail_out;
      const bool ended = status == Z_STREAM_END;
      if (used_ == out_.size() || (ended && used_ > 0)) {
        if (!chunks_.Idat(std::span(out_).first(used_))) return false;
        used_ = 0;
      }
      if (ended || (flush == Z_NO_FLUSH && stream_.avail_in == 0 && stream_.avail_out > 0)) return true;
    }
  }

  ChunkWriter& chunks_;
  z_stream stream_{};
  std::vector<std::uint8_t> out_;
  std::size_t used_ = 0;
};

std::array<std::uint8_t, kIhdrBytes> Header(ImageSize size, PngKind kind) {
  std::array<std::uint8_t, kIhdrBytes> header{};
  for (std::size_t i = 0; i < 4; ++i) {
    header[i] = static_cast<std::uint8_t>(size.width >> (24 - 8 * i));
    header[4 + i] = static_cast<std::uint8_t>(size.height >> (24 - 8 * i));
  }
  header[8] = kind.depth;
  header[9] = kind.colourType;
  return header;
}

bool WritePalette(ChunkWriter& chunks, ColourSet& colours) {
  const std::size_t transparent = colours.PutTransparentFirst();
  std::vector<std::uint8_t> palette;
  std::vector<std::uint8_t> alphas;
  for (const std::uint32_t colour : colours.Colours()) {
    const std::array<std::uint8_t, kRgba> rgba = Channels(colour);
    palette.insert(palette.end(), rgba.begin(), rgba.begin() + 3);
    if (alphas.size() < transparent) alphas.push_back(rgba[kAlpha]);
  }
  return chunks.Chunk("PLTE", palette) && (alphas.empty() || chunks.Chunk("tRNS", alphas));
}

// The rows that `pack` makes of each row of `pixels`, filtered and compressed into
// IDAT chunks, then IEND.
template <typename Pack>
bool WriteImageData(ChunkWriter& chunks, PngKind kind, ImageSize size, PixelRows& pixels, std::size_t pixelBytes,
                    Pack pack) {
  const std::size_t rowBytes = kind.RowBytes(size.width);
  std::unique_ptr<Compressor> compressor;
  if (rowBytes * size.height <= kWholeImageBytes) {
    compressor = std::make_unique<WholeImageCompressor>(chunks, (rowBytes + 1) * size.height);
  } else {
    compressor = std::make_unique<StreamCompressor>(chunks);
  }
  RowFilter filter(kind, size.width);
  const bool all = EachRow(
      size, pixels, [&](std::span<const std::uint8_t> row) { return compressor->Add(filter.Filter(pack(row))); },
      pixelBytes);
  return all && compressor->Finish() && chunks.Chunk("IEND", {});
}

}  // namespace

bool WritePng(ImageSize size, PixelRows& pixels, bool keepAlpha, ByteSink& sink) {
  // A pass stopped early has learnt enough; a failing source fails the second pass too.
  Survey survey;
  EachRow(size, pixels, [&](std::span<const std::uint8_t> row) { return survey.Take(row); });
  const PngKind kind = ChooseKind(survey, keepAlpha);

  ChunkWriter chunks(sink);
  if (!chunks.Signature() || !chunks.Chunk("IHDR", Header(size, kind))) return false;
  if (kind.colourType == kPalette && !WritePalette(chunks, survey.colours)) return false;
  RowPacker packer(kind, size.width, survey.colours);
  return WriteImageData(chunks, kind, size, pixels, kRgba,
                        [&](std::span<const std::uint8_t> rgba) { return packer.Pack(rgba); });
}

bool WritePalettePng(ImageSize size, PixelRows& indices, const Palette& palette, ByteSink& sink) {
  const PngKind kind{kPalette, 8};
  ChunkWriter chunks(sink);
  return chunks.Signature() && chunks.Chunk("IHDR", Header(size, kind)) && chunks.Chunk("PLTE", palette.rgb) &&
         WriteImageData(chunks, kind, size, indices, 1, [](std::span<const std::uint8_t> row) { return row; });
}

}  // namespace formats
