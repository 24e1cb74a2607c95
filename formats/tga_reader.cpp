// The TGA reader's row sources: uncompressed and run-length rows, read top row first
// whatever order the file keeps them in. The layout is described in tga_header.cpp.
#include "formats/tga_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/pixel_loops.h"
#include "formats/tga_header.h"
#include "formats/tga_pixels.h"

namespace formats {
namespace {

using namespace tga;
using sys::WithSeparators;

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
  PlainRows(ByteSource& source, const TgaFormat& format)
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
  PacketRows(ByteSource& source, const TgaFormat& format, std::uint64_t fileSize)
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
  TgaFormat format_;
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
  TgaFormat format_;
  PixelDecoder decoder_;
  std::optional<std::uint8_t> attributesType_;
  std::unique_ptr<StoredRows> rows_;
  std::uint32_t nextRow_ = 0;
  std::string error_;
  bool opened_ = false;
};

}  // namespace

TgaReader::TgaReader(ByteSource& source) : RowReader(std::make_unique<TgaRows>(source)) {}

}  // namespace formats
