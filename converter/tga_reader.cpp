// The TGA image as this reader understands it.
//
// Every number is little-endian. An 18-byte header:
//
//   offset size  field
//        0    1  image ID length     bytes of free text that follow the header
//        1    1  colour-map type     0 none, 1 a colour map follows the image ID
//        2    1  image type          1 colour-mapped, 2 true-colour, 3 grey; 9, 10, 11 the
//                                    same, run-length encoded
//        3    2  first map entry     the pixel value the first stored entry stands for
//        5    2  map length          entries stored
//        7    1  map entry bits      15, 16, 24 or 32
//        8    4  x and y origin      where a screen would show the image; not needed here
//       12    2  width
//       14    2  height
//       16    1  pixel depth         bits per pixel: 8 or 16 for a map index or grey;
//                                    15, 16, 24 or 32 for true colour
//       17    1  image descriptor    bits 0-3 alpha bits; bit 4 rows run right to left;
//                                    bit 5 top row first; bits 6-7 interleaving, always 0
//
// then the image ID, the colour map (map length entries of whole bytes), the pixels.
// A pixel is stored as: grey, or grey then alpha; an index into the map; 15 or 16 bits
// ARRRRRGGGGGBBBBB (A the attribute bit); blue, green, red; blue, green, red, alpha.
// Rows follow each other without padding, the bottom row first unless bit 5 is set.
//
// Run-length encoded pixels come in packets: a byte whose top bit marks a run and whose
// low 7 bits are the pixel count less one, then for a run the one pixel repeated, for a
// raw packet the count of pixels. Many writers let a packet carry on into the next row.
//
// An optional 26-byte footer ends a TGA 2.0 file: extension-area offset (u32, 0 when
// none), developer-directory offset (u32), "TRUEVISION-XFILE." and a NUL. The extension
// area is 495 bytes, its first u16 says so, and its last byte is the attributes type:
// 3 the alpha is useful, 4 the colours are pre-multiplied by it, others no useful alpha.
//
// Alpha is read from the file only where the descriptor gives alpha bits, an extension
// area (if any) agrees, and some pixel's alpha is not 0: many writers leave the channel
// at 0. Everywhere else alpha is 255. A 16-bit pixel's attribute bit is its alpha, 255
// when set, only on those terms; a 15-bit pixel's is ignored. Pre-multiplied colours are
// divided back by their alpha. A map index counts from the first map entry, and one
// outside the stored entries is an error.

#include "tga_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "m32.h"
#include "pixel_loops.h"
#include "system/number_text.h"
#include "tga.h"

namespace m32tga {

using sys::WithSeparators;

namespace {

constexpr std::uint8_t kRunLengthTypeBit = 8;
constexpr std::uint8_t kAlphaBitsMask = 0x0F;
constexpr std::uint8_t kRightToLeftBit = 0x10;
constexpr std::uint8_t kTopFirstBit = 0x20;
constexpr std::uint8_t kInterleavingBits = 0xC0;

constexpr std::uint64_t kExtensionBytes = 495;
constexpr std::size_t kAttributesTypeAt = 494;
constexpr std::uint8_t kUsefulAlpha = 3;
constexpr std::uint8_t kPremultipliedAlpha = 4;

constexpr std::uint8_t kPacketRunBit = 0x80;
constexpr std::uint8_t kPacketCountMask = 0x7F;
constexpr std::uint64_t kMostPixelsInAPacket = kPacketCountMask + 1;
constexpr std::size_t kMaxPixelBytes = 4;
constexpr std::size_t kRgbaBytes = kM32BytesPerPixel;
constexpr std::uint8_t kOpaque = 255;

enum class Kind { kMapped = 1, kTrueColour = kTgaTrueColourType, kGrey = 3 };

std::uint16_t U16At(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(U16At(bytes, at)) | static_cast<std::uint32_t>(U16At(bytes, at + 2)) << 16;
}

std::string Bytes(std::uint64_t count) { return WithSeparators(count) + " bytes"; }

// What the header says, checked.
struct Format {
  Kind kind = Kind::kTrueColour;
  bool runLength = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  unsigned depth = 0;
  unsigned pixelBytes = 0;
  unsigned alphaBits = 0;
  bool rightToLeft = false;
  bool topFirst = false;
  std::uint16_t mapFirst = 0;
  std::uint16_t mapLength = 0;
  unsigned mapEntryBits = 0;
  std::uint64_t mapAt = 0;
  std::uint64_t pixelsAt = 0;
};

unsigned WholeBytes(unsigned bits) { return (bits + 7) / 8; }

std::string KindName(Kind kind) {
  switch (kind) {
    case Kind::kMapped: return "colour-mapped";
    case Kind::kTrueColour: return "true-colour";
    case Kind::kGrey: return "grey";
  }
  return {};
}

bool DepthFits(Kind kind, unsigned depth) {
  switch (kind) {
    case Kind::kMapped: return depth == 8 || depth == 16;
    case Kind::kTrueColour: return depth == 15 || depth == 16 || depth == 24 || depth == 32;
    case Kind::kGrey: return depth == 8 || depth == 16;
  }
  return false;
}

bool MapEntryBitsFit(unsigned bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

std::string TypeError(std::uint8_t type) {
  if (type == 0) return "no image in this TGA (image type 0)";
  const unsigned base = type & ~kRunLengthTypeBit;
  if (base < 1 || base > 3 || type > 11) return "unsupported TGA image type " + WithSeparators(type);
  return {};
}

// The fields of the header that do not depend on the file's size.
std::string ParseFields(std::span<const std::uint8_t> header, Format& format) {
  const std::uint8_t type = header[kTgaImageTypeAt];
  if (std::string error = TypeError(type); !error.empty()) return error;
  format.kind = static_cast<Kind>(type & ~kRunLengthTypeBit);
  format.runLength = (type & kRunLengthTypeBit) != 0;
  const std::uint8_t mapType = header[kTgaMapTypeAt];
  if (mapType > 1) return "unknown TGA colour-map type " + WithSeparators(mapType);
  if (mapType == 1) {
    format.mapFirst = U16At(header, kTgaMapFirstAt);
    format.mapLength = U16At(header, kTgaMapLengthAt);
    format.mapEntryBits = header[kTgaMapEntryBitsAt];
  }
  if (format.kind == Kind::kMapped) {
    if (mapType == 0 || format.mapLength == 0) return "colour-mapped TGA without a colour map";
    if (!MapEntryBitsFit(format.mapEntryBits)) {
      return "unsupported TGA colour-map entries of " + WithSeparators(format.mapEntryBits) + " bits";
    }
  }
  format.width = U16At(header, kTgaWidthAt);
  format.height = U16At(header, kTgaHeightAt);
  if (format.width == 0 || format.height == 0) {
    return "no image: the TGA is " + WithSeparators(format.width) + " x " + WithSeparators(format.height) + " pixels";
  }
  format.depth = header[kTgaDepthAt];
  if (!DepthFits(format.kind, format.depth)) {
    return "unsupported " + WithSeparators(format.depth) + "-bit pixels in a " + KindName(format.kind) + " TGA";
  }
  format.pixelBytes = WholeBytes(format.depth);
  const std::uint8_t descriptor = header[kTgaDescriptorAt];
  if ((descriptor & kInterleavingBits) != 0) return "unsupported interleaved TGA rows (descriptor bits 6-7)";
  format.alphaBits = descriptor & kAlphaBitsMask;
  format.rightToLeft = (descriptor & kRightToLeftBit) != 0;
  format.topFirst = (descriptor & kTopFirstBit) != 0;
  return {};
}

// Where the colour map and the pixels lie, checked against the file's size. The sides
// are at most 65,535, so no product below comes near 64 bits.
std::string PlaceParts(std::span<const std::uint8_t> header, std::uint64_t fileSize, Format& format) {
  format.mapAt = kTgaHeaderBytes + header[kTgaIdLengthAt];
  const std::uint64_t mapBytes = std::uint64_t{format.mapLength} * WholeBytes(format.mapEntryBits);
  format.pixelsAt = format.mapAt + mapBytes;
  if (format.mapAt > fileSize) return "truncated: the TGA's image ID runs past the end of the file";
  if (format.pixelsAt > fileSize) {
    return "truncated: the TGA's colour map ends at byte " + WithSeparators(format.pixelsAt) + " of a " +
           Bytes(fileSize) + " file";
  }
  const std::uint64_t pixels = std::uint64_t{format.width} * format.height;
  const std::string size = WithSeparators(format.width) + " x " + WithSeparators(format.height);
  if (format.runLength) {
    // Each packet takes a byte and at least one pixel.
    const std::uint64_t packets = (pixels + kMostPixelsInAPacket - 1) / kMostPixelsInAPacket;
    const std::uint64_t leastBytes = packets * (1 + format.pixelBytes);
    if (leastBytes <= fileSize - format.pixelsAt) return {};
    return "truncated: the TGA's " + size + " pixels take at least " + Bytes(leastBytes) +
           " of run-length packets, and the file has " + Bytes(fileSize - format.pixelsAt) + " for them";
  }
  const std::uint64_t pixelBytes = pixels * format.pixelBytes;
  if (pixelBytes > fileSize - format.pixelsAt) {
    return "truncated: the TGA's " + size + " pixels end at byte " + WithSeparators(format.pixelsAt + pixelBytes) +
           " of a " + Bytes(fileSize) + " file";
  }
  return {};
}

// Whether the stored pixels or map entries have room for alpha at all.
bool CarriesAlpha(const Format& format) {
  switch (format.kind) {
    case Kind::kMapped: return format.mapEntryBits == 16 || format.mapEntryBits == 32;
    case Kind::kTrueColour: return format.depth == 16 || format.depth == 32;
    case Kind::kGrey: return format.depth == 16;
  }
  return false;
}

struct AlphaUse {
  bool wanted = false;
  bool premultiplied = false;
};

// 0..31 to 0..255, rounded to the nearest.
std::uint8_t Expand5(unsigned value) { return static_cast<std::uint8_t>((value * 255 + 15) / 31); }

// A 15- or 16-bit colour as RGBA; the attribute bit is alpha only when asked.
void From16(std::uint16_t value, bool attributeIsAlpha, std::uint8_t* rgba) {
  constexpr unsigned kFiveBits = 0x1F;
  constexpr unsigned kAttributeBit = 0x8000;
  rgba[0] = Expand5(value >> 10 & kFiveBits);
  rgba[1] = Expand5(value >> 5 & kFiveBits);
  rgba[2] = Expand5(value & kFiveBits);
  rgba[3] = !attributeIsAlpha || (value & kAttributeBit) != 0 ? kOpaque : 0;
}

// Blue, green, red and, with 4 bytes, alpha, as RGBA.
void FromBgra(const std::uint8_t* bgra, unsigned bytes, bool keepAlpha, std::uint8_t* rgba) {
  rgba[0] = bgra[2];
  rgba[1] = bgra[1];
  rgba[2] = bgra[0];
  rgba[3] = bytes == 4 && keepAlpha ? bgra[3] : kOpaque;
}

void FromTrueColour(const std::uint8_t* stored, unsigned bytes, bool keepAlpha, std::uint8_t* rgba) {
  if (bytes == 2) {
    From16(static_cast<std::uint16_t>(stored[0] | stored[1] << 8), keepAlpha, rgba);
  } else {
    FromBgra(stored, bytes, keepAlpha, rgba);
  }
}

std::uint8_t Unpremultiply(std::uint8_t colour, std::uint8_t alpha) {
  if (alpha == 0) return colour;
  return static_cast<std::uint8_t>(std::min<unsigned>(kOpaque, (colour * 255u + alpha / 2u) / alpha));
}

// Turns stored pixels into RGBA: the one place that knows every pixel format.
class PixelDecoder {
 public:
  explicit PixelDecoder(const Format& format) : format_(format) {}

  void LoadMap(std::span<const std::uint8_t> stored) {
    const unsigned bytes = WholeBytes(format_.mapEntryBits);
    map_.resize(stored.size() / bytes);
    for (std::size_t i = 0; i < map_.size(); ++i) {
      FromTrueColour(&stored[i * bytes], bytes, true, map_[i].data());
    }
  }

  void SetAlpha(AlphaUse use) { alpha_ = use; }

  // False, with `error` saying why, at a map index outside the map.
  bool Decode(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba, std::string& error) const {
    if (format_.kind == Kind::kMapped) {
      if (!DecodeIndices(stored, count, rgba, error)) return false;
    } else if (format_.kind == Kind::kGrey) {
      DecodeGrey(stored, count, rgba);
    } else {
      DecodeTrueColour(stored, count, rgba);
    }
    if (alpha_.premultiplied) Unpremultiply(rgba, count);
    return true;
  }

 private:
  void DecodeTrueColour(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba) const {
    const unsigned bytes = format_.pixelBytes;
    if (bytes == 3) return BgrToRgba(stored, rgba, count);
    if (bytes == 4) {
      SwapRedAndBlue(stored, rgba, count);
      if (!alpha_.wanted) {
        for (std::size_t i = 0; i < count; ++i) rgba[i * kRgbaBytes + 3] = kOpaque;
      }
      return;
    }
    for (std::size_t i = 0; i < count; ++i) {
      From16(static_cast<std::uint16_t>(stored[2 * i] | stored[2 * i + 1] << 8), alpha_.wanted, rgba + i * kRgbaBytes);
    }
  }

  void DecodeGrey(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba) const {
    const unsigned bytes = format_.pixelBytes;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* grey = stored + i * bytes;
      std::uint8_t* out = rgba + i * kRgbaBytes;
      out[0] = out[1] = out[2] = grey[0];
      out[3] = bytes == 2 && alpha_.wanted ? grey[1] : kOpaque;
    }
  }

  bool DecodeIndices(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba, std::string& error) const {
    const unsigned bytes = format_.pixelBytes;
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned index = bytes == 2 ? stored[2 * i] | stored[2 * i + 1] << 8 : stored[i];
      // Unsigned, so that an index below the first entry wraps far out of range.
      const unsigned entry = index - format_.mapFirst;
      if (entry >= map_.size()) {
        error = "colour-map index " + WithSeparators(index) + " outside the TGA's map of entries " +
                WithSeparators(format_.mapFirst) + " to " + WithSeparators(format_.mapFirst + map_.size() - 1);
        return false;
      }
      std::uint8_t* out = rgba + i * kRgbaBytes;
      std::memcpy(out, map_[entry].data(), kRgbaBytes);
      if (!alpha_.wanted) out[3] = kOpaque;
    }
    return true;
  }

  static void Unpremultiply(std::uint8_t* rgba, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      std::uint8_t* pixel = rgba + i * kRgbaBytes;
      for (int c = 0; c < 3; ++c) pixel[c] = m32tga::Unpremultiply(pixel[c], pixel[3]);
    }
  }

  const Format& format_;  // filled in by the reader before the first pixel
  std::vector<std::array<std::uint8_t, kRgbaBytes>> map_;
  AlphaUse alpha_;
};

// The file's bytes from some position on, read a chunk at a time.
class ByteStream {
 public:
  ByteStream(ByteSource& source, std::uint64_t end) : source_(source), end_(end) {}

  std::uint64_t Position() const { return position_; }
  const std::string& Error() const { return error_; }

  // Moves to `at`. Rows read backwards each end where the one after them starts, at
  // `readsUpTo`: the next chunk read then reaches back before `at` as far as it can.
  void Seek(std::uint64_t at, std::uint64_t readsUpTo, std::uint64_t lowest) {
    position_ = at;
    const std::uint64_t reach = readsUpTo > kChunkBytes ? readsUpTo - kChunkBytes : 0;
    nextFillAt_ = Holds(at) ? std::nullopt : std::optional(std::min(at, std::max(reach, lowest)));
  }

  // Copies `count` bytes on, or skips them when `to` is null.
  bool Read(std::uint8_t* to, std::size_t count) {
    // Most reads are a packet's byte or pixel, inside the chunk in hand.
    if (Holds(position_) && count <= kMaxPixelBytes && buffer_.size() - (position_ - bufferAt_) >= count) {
      const std::uint8_t* from = buffer_.data() + (position_ - bufferAt_);
      for (std::size_t i = 0; to != nullptr && i < count; ++i) to[i] = from[i];
      position_ += count;
      return true;
    }
    while (count > 0) {
      if (!Holds(position_) && !Fill()) return false;
      const std::size_t offset = static_cast<std::size_t>(position_ - bufferAt_);
      const std::size_t take = std::min(count, buffer_.size() - offset);
      if (to != nullptr) {
        std::memcpy(to, buffer_.data() + offset, take);
        to += take;
      }
      position_ += take;
      count -= take;
    }
    return true;
  }

 private:
  bool Holds(std::uint64_t at) const { return at >= bufferAt_ && at - bufferAt_ < buffer_.size(); }

  bool Fill() {
    const std::uint64_t at = nextFillAt_ && *nextFillAt_ <= position_ ? *nextFillAt_ : position_;
    nextFillAt_.reset();
    buffer_.clear();
    if (at >= end_) {
      error_ = "truncated: the TGA's run-length packets run past the end of the file (" + Bytes(end_) + ")";
      return false;
    }
    bufferAt_ = at;
    buffer_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, end_ - at)));
    if (source_.ReadAt(at, buffer_)) return true;
    buffer_.clear();
    error_ = source_.Error();
    return false;
  }

  ByteSource& source_;
  std::uint64_t end_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t bufferAt_ = 0;
  std::uint64_t position_ = 0;
  std::optional<std::uint64_t> nextFillAt_;
  std::string error_;
};

// The rows as stored, each width * pixelBytes bytes, asked for by their place in the file.
class StoredRows {
 public:
  virtual ~StoredRows() = default;
  // The stored row `row`, counted from the first in the file; null, with `error` set,
  // when it cannot be read. The bytes stay valid until the next call.
  virtual const std::uint8_t* Row(std::uint32_t row, std::string& error) = 0;
  // Rows will now be asked for from the last stored to the first.
  virtual void ReadBackwards() = 0;
};

// Uncompressed rows, read a chunk of rows at a time in the direction they are wanted.
class PlainRows final : public StoredRows {
 public:
  PlainRows(ByteSource& source, const Format& format)
      : source_(source),
        at_(format.pixelsAt),
        rowBytes_(std::size_t{format.width} * format.pixelBytes),
        height_(format.height),
        rowsPerChunk_(static_cast<std::uint32_t>(std::max<std::size_t>(1, kChunkBytes / rowBytes_))) {}

  const std::uint8_t* Row(std::uint32_t row, std::string& error) override {
    if (row < first_ || row - first_ >= count_) {
      if (!Load(ChunkStart(row), error)) return nullptr;
    }
    return buffer_.data() + std::size_t{row - first_} * rowBytes_;
  }

  void ReadBackwards() override { backwards_ = true; }

 private:
  // The chunk ends at `row` when reading backwards, and starts there otherwise.
  std::uint32_t ChunkStart(std::uint32_t row) const {
    if (!backwards_) return row;
    return row + 1 > rowsPerChunk_ ? row + 1 - rowsPerChunk_ : 0;
  }

  bool Load(std::uint32_t first, std::string& error) {
    count_ = std::min(rowsPerChunk_, height_ - first);
    first_ = first;
    buffer_.resize(std::size_t{count_} * rowBytes_);
    if (source_.ReadAt(at_ + std::uint64_t{first} * rowBytes_, buffer_)) return true;
    count_ = 0;
    error = source_.Error();
    return false;
  }

  ByteSource& source_;
  std::uint64_t at_;
  std::size_t rowBytes_;
  std::uint32_t height_;
  std::uint32_t rowsPerChunk_;
  bool backwards_ = false;
  std::uint32_t first_ = 0;
  std::uint32_t count_ = 0;
  std::vector<std::uint8_t> buffer_;
};

// Where a row's pixels start in the packets: the packet in hand, if any, and the file
// position of what follows.
struct PacketState {
  std::uint64_t at = 0;
  std::uint8_t remaining = 0;
  bool run = false;
  std::array<std::uint8_t, kMaxPixelBytes> pixel{};
};

// Run-length encoded rows. Read first to last they are decoded as they come; read last
// to first, each row starts from the state the first pass noted for it.
class PacketRows final : public StoredRows {
 public:
  PacketRows(ByteSource& source, const Format& format, std::uint64_t fileSize)
      : stream_(source, fileSize),
        format_(format),
        row_(std::size_t{format.width} * format.pixelBytes),
        start_{format.pixelsAt, 0, false, {}} {
    stream_.Seek(start_.at, start_.at, start_.at);
  }

  const std::uint8_t* Row(std::uint32_t row, std::string& error) override {
    return Walk(row, true, error) ? row_.data() : nullptr;
  }

  // Walks past the row's packets, checking them, without copying a pixel.
  bool Skip(std::uint32_t row, std::string& error) { return Walk(row, false, error); }

  // From now on the rows are noted as they are read, once each from the first.
  void NoteRowStarts() {
    noting_ = true;
    starts_.reserve(format_.height);
  }

  void ReadBackwards() override { noting_ = false; }

 private:
  PacketState Save() const {
    PacketState state = state_;
    state.at = stream_.Position();
    return state;
  }

  void Restore(std::uint32_t row) {
    const bool noted = row < starts_.size();
    state_ = noted ? starts_[row] : start_;
    const bool nextNoted = noted && row + 1 < starts_.size();
    const std::uint64_t readsUpTo = nextNoted ? starts_[row + 1].at : state_.at + kChunkBytes;
    stream_.Seek(state_.at, readsUpTo, format_.pixelsAt);
  }

  bool Walk(std::uint32_t row, bool copy, std::string& error) {
    if (row != next_) Restore(row);
    if (noting_) starts_.push_back(Save());
    if (!Decode(row, copy, error)) return false;
    next_ = row + 1;
    return true;
  }

  bool Decode(std::uint32_t row, bool copy, std::string& error) {
    const std::uint32_t width = format_.width;
    const unsigned bytes = format_.pixelBytes;
    for (std::uint32_t filled = 0; filled < width;) {
      if (state_.remaining == 0 && !NextPacket(row, filled, error)) return false;
      const std::uint32_t take = std::min<std::uint32_t>(state_.remaining, width - filled);
      std::uint8_t* to = copy ? row_.data() + std::size_t{filled} * bytes : nullptr;
      if (state_.run) {
        if (copy) RepeatPixel(state_.pixel.data(), bytes, take, to);
      } else if (!stream_.Read(to, std::size_t{take} * bytes)) {
        error = stream_.Error();
        return false;
      }
      filled += take;
      state_.remaining = static_cast<std::uint8_t>(state_.remaining - take);
    }
    return true;
  }

  bool NextPacket(std::uint32_t row, std::uint32_t filled, std::string& error) {
    const std::uint64_t packetAt = stream_.Position();
    std::uint8_t head = 0;
    if (!stream_.Read(&head, 1)) {
      error = stream_.Error();
      return false;
    }
    const unsigned count = (head & kPacketCountMask) + 1u;
    const std::uint64_t pixelsLeft = std::uint64_t{format_.height - row} * format_.width - filled;
    if (count > pixelsLeft) {
      error = "a TGA run-length packet at byte " + WithSeparators(packetAt) + " holds " + WithSeparators(count) +
              " pixels where " + WithSeparators(pixelsLeft) + " are left in the image";
      return false;
    }
    state_.remaining = static_cast<std::uint8_t>(count);
    state_.run = (head & kPacketRunBit) != 0;
    if (state_.run && !stream_.Read(state_.pixel.data(), format_.pixelBytes)) {
      error = stream_.Error();
      return false;
    }
    return true;
  }

  ByteStream stream_;
  Format format_;
  std::vector<std::uint8_t> row_;
  PacketState start_;
  PacketState state_;
  std::uint32_t next_ = 0;
  bool noting_ = false;
  std::vector<PacketState> starts_;
};

bool AnyAlpha(std::span<const std::uint8_t> rgba) {
  for (std::size_t i = 3; i < rgba.size(); i += kRgbaBytes) {
    if (rgba[i] != 0) return true;
  }
  return false;
}

}  // namespace

bool MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) {
  if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset) {
    error_ = "no bytes past " + WithSeparators(bytes_.size());
    return false;
  }
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), bytes.size(), bytes.begin());
  return true;
}

namespace {

class TgaRows final : public RowReader::Rows {
 public:
  explicit TgaRows(ByteSource& source) : source_(source), decoder_(format_) {
    error_ = Open();
    opened_ = error_.empty();
  }

  const std::string& Error() const override { return error_; }
  std::uint32_t Width() const override { return opened_ ? format_.width : 0; }
  std::uint32_t Height() const override { return opened_ ? format_.height : 0; }

  bool ReadRow(std::span<std::uint8_t> rgba) override {
    if (!error_.empty()) return false;
    if (nextRow_ >= format_.height || rgba.size() != std::size_t{format_.width} * kRgbaBytes) {
      error_ = "no such row in the TGA";
      return false;
    }
    const std::uint32_t stored = format_.topFirst ? nextRow_ : format_.height - 1 - nextRow_;
    if (!DecodeStored(stored, rgba)) return false;
    if (format_.rightToLeft) Mirror(rgba);
    ++nextRow_;
    return true;
  }

 private:
  std::string Open() {
    const std::uint64_t size = source_.Size();
    if (size < kTgaHeaderBytes) {
      return "too short for a TGA: " + Bytes(size) + ", the header alone is " + Bytes(kTgaHeaderBytes);
    }
    std::array<std::uint8_t, kTgaHeaderBytes> header{};
    if (!source_.ReadAt(0, header)) return source_.Error();
    std::string error = ParseFields(header, format_);
    if (error.empty()) error = PlaceParts(header, size, format_);
    if (error.empty()) error = ReadFooter();
    if (error.empty()) error = ReadMap();
    if (error.empty()) error = PrepareRows();
    return error;
  }

  // The extension area's attributes type, where the file has one.
  std::string ReadFooter() {
    const std::uint64_t size = source_.Size();
    std::array<std::uint8_t, kTgaFooterBytes> footer{};
    if (size < kTgaHeaderBytes + kTgaFooterBytes) return {};
    if (!source_.ReadAt(size - kTgaFooterBytes, footer)) return source_.Error();
    if (!std::equal(kTgaSignature.begin(), kTgaSignature.end(), footer.end() - kTgaSignature.size())) return {};
    const std::uint64_t extensionAt = U32At(footer, 0);
    if (extensionAt == 0) return {};
    const std::uint64_t footerAt = size - kTgaFooterBytes;
    if (extensionAt < kTgaHeaderBytes || extensionAt > footerAt || footerAt - extensionAt < kExtensionBytes) {
      return "the TGA's extension area at byte " + WithSeparators(extensionAt) + " does not fit before its footer";
    }
    std::array<std::uint8_t, kExtensionBytes> extension{};
    if (!source_.ReadAt(extensionAt, extension)) return source_.Error();
    if (U16At(extension, 0) != kExtensionBytes) {
      return "the TGA's extension area says it is " + Bytes(U16At(extension, 0)) + ", not " + Bytes(kExtensionBytes);
    }
    attributesType_ = extension[kAttributesTypeAt];
    return {};
  }

  std::string ReadMap() {
    if (format_.kind != Kind::kMapped) return {};
    std::vector<std::uint8_t> stored(static_cast<std::size_t>(format_.pixelsAt - format_.mapAt));
    if (!source_.ReadAt(format_.mapAt, stored)) return source_.Error();
    decoder_.LoadMap(stored);
    return {};
  }

  AlphaUse AlphaOffered() const {
    const bool agreed = !attributesType_ || *attributesType_ == kUsefulAlpha || *attributesType_ == kPremultipliedAlpha;
    AlphaUse use;
    use.wanted = CarriesAlpha(format_) && format_.alphaBits > 0 && agreed;
    use.premultiplied = use.wanted && attributesType_ == kPremultipliedAlpha;
    return use;
  }

  // One pass over the rows in file order, where it is needed: to see whether any alpha
  // is not 0, and to note where each run-length row starts when rows are read last first.
  std::string PrepareRows() {
    AlphaUse alpha = AlphaOffered();
    decoder_.SetAlpha(alpha);
    const bool backwards = !format_.topFirst;
    PacketRows* packets = nullptr;
    if (format_.runLength) {
      auto rows = std::make_unique<PacketRows>(source_, format_, source_.Size());
      packets = rows.get();
      rows_ = std::move(rows);
    } else {
      rows_ = std::make_unique<PlainRows>(source_, format_);
    }
    if (packets != nullptr && backwards) packets->NoteRowStarts();
    bool seeking = alpha.wanted;
    std::vector<std::uint8_t> rgba(std::size_t{format_.width} * kRgbaBytes);
    const bool needsAllRows = packets != nullptr && backwards;
    for (std::uint32_t row = 0; row < format_.height && (seeking || needsAllRows); ++row) {
      std::string error;
      if (!seeking) {
        // Only where the rows start is still wanted.
        if (!packets->Skip(row, error)) return error;
        continue;
      }
      const std::uint8_t* stored = rows_->Row(row, error);
      if (stored == nullptr) return error;
      if (!decoder_.Decode(stored, format_.width, rgba.data(), error)) return error;
      seeking = !AnyAlpha(rgba);
    }
    if (alpha.wanted && seeking) decoder_.SetAlpha(AlphaUse{});  // 0 everywhere: opaque
    if (backwards) rows_->ReadBackwards();
    return {};
  }

  bool DecodeStored(std::uint32_t row, std::span<std::uint8_t> rgba) {
    const std::uint8_t* stored = rows_->Row(row, error_);
    return stored != nullptr && decoder_.Decode(stored, format_.width, rgba.data(), error_);
  }

  static void Mirror(std::span<std::uint8_t> rgba) {
    for (std::size_t left = 0, right = rgba.size(); right > left + kRgbaBytes; left += kRgbaBytes) {
      right -= kRgbaBytes;
      std::swap_ranges(&rgba[left], &rgba[left] + kRgbaBytes, &rgba[right]);
    }
  }

  ByteSource& source_;
  Format format_;
  PixelDecoder decoder_;
  std::optional<std::uint8_t> attributesType_;
  std::unique_ptr<StoredRows> rows_;
  std::uint32_t nextRow_ = 0;
  std::string error_;
  bool opened_ = false;
};

}  // namespace

TgaReader::TgaReader(ByteSource& source) : RowReader(std::make_unique<TgaRows>(source)) {}

}  // namespace m32tga
