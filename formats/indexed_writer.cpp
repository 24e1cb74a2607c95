#include "formats/indexed_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "formats/indexed.h"
#include "formats/pixel_loops.h"

namespace formats {

namespace {

constexpr std::size_t kRgba = 4;
constexpr std::size_t kAlpha = 3;
constexpr std::size_t kMipWriteBytes = std::size_t{64} * 1024;

}  // namespace

// One level: its rows mapped to indices, collected and written a buffer at a time, and
// their colours held until a block row can be halved for the level below.
class IndexedWriter::Level {
 public:
  Level(const MipLevel& shape, std::size_t writeBytes, NearestColour& nearest, IndexedOptions options)
      : shape_(shape),
        average_(options.average),
        nearest_(nearest),
        // No more than the level holds: a small texture's sixteen levels need little.
        out_(std::max<std::size_t>(std::min<std::size_t>(writeBytes, std::size_t{shape.width} * shape.height),
                                   shape.width)),
        writeAt_(shape.offset),
        held_(3 * std::size_t{shape.width} * kRgba) {
    if (options.dither) diffusion_.emplace(nearest, shape.width);
  }

  bool Complete() const { return rowsGiven_ == shape_.height; }

  // Maps the row (or takes `given` as its indices) into the write buffer; the indices,
  // or empty when the level is complete or a write failed.
  std::span<const std::uint8_t> Put(std::span<const std::uint8_t> rgba, const std::uint8_t* given,
                                    const std::uint8_t* keep, PositionedSink& sink) {
    if (Complete() || rgba.size() != std::size_t{shape_.width} * kRgba) return {};
    if (used_ + shape_.width > out_.size() && !Flush(sink)) return {};
    const std::span<std::uint8_t> slot(out_.data() + used_, shape_.width);
    if (given != nullptr) {
      std::memcpy(slot.data(), given, slot.size());
    } else if (diffusion_) {
      diffusion_->MapRow(rgba, slot, keep);
    } else {
      nearest_.MapRow(rgba, slot, keep);
    }
    used_ += slot.size();
    ++rowsGiven_;
    return slot;
  }

  bool Flush(PositionedSink& sink) {
    if (used_ > 0 && !sink.WriteAt(writeAt_, std::span(out_).first(used_))) return false;
    writeAt_ += used_;
    used_ = 0;
    return true;
  }

  // Holds the row's colours, opaque; true when they complete a block row to halve.
  bool Hold(std::span<const std::uint8_t> rgba) {
    std::uint8_t* row = held_.data() + heldRows_ * rgba.size();
    std::memcpy(row, rgba.data(), rgba.size());
    for (std::size_t at = kAlpha; at < rgba.size(); at += kRgba) row[at] = 255;
    ++heldRows_;
    return heldRows_ == BlockSpan(shape_.height, halvedRows_);
  }

  std::span<const std::uint8_t> Halve() {
    const std::size_t rowBytes = std::size_t{shape_.width} * kRgba;
    std::array<const std::uint8_t*, 3> rows{};
    for (std::size_t i = 0; i < heldRows_; ++i) rows[i] = held_.data() + i * rowBytes;
    half_.resize(std::size_t{HalfSide(shape_.width)} * kRgba);
    HalveRows(std::span(rows).first(heldRows_), shape_.width, half_, average_);
    heldRows_ = 0;
    ++halvedRows_;
    return half_;
  }

 private:
  MipLevel shape_;
  MipAverage average_;
  NearestColour& nearest_;
  std::optional<ErrorDiffusion> diffusion_;
  std::vector<std::uint8_t> out_;  // the first used_ bytes are rows to write at writeAt_
  std::size_t used_ = 0;
  std::uint64_t writeAt_;
  std::uint32_t rowsGiven_ = 0;
  std::vector<std::uint8_t> held_;
  std::size_t heldRows_ = 0;
  std::uint32_t halvedRows_ = 0;
  std::vector<std::uint8_t> half_;
};

IndexedWriter::IndexedWriter(const M32Layout& layout, PositionedSink& sink, NearestColour& nearest,
                             IndexedOptions options, ReferenceLevels* reference)
    : shapes_(layout.levels), sink_(sink), palette_(nearest.Colours()) {
  for (const MipLevel& level : layout.levels) {
    levels_.push_back(std::make_unique<Level>(level, levels_.empty() ? kChunkBytes : kMipWriteBytes, nearest, options));
  }
  failed_ = levels_.empty() || !layout.error.empty();
  const bool sameSides = !levels_.empty() && reference != nullptr &&
                         reference->Level0().width == layout.levels[0].width &&
                         reference->Level0().height == layout.levels[0].height;
  reference_ = sameSides ? reference : nullptr;
  level0AsReference_ = reference_ != nullptr;
}

IndexedWriter::~IndexedWriter() = default;

const std::string& IndexedWriter::ReferenceError() const {
  static const std::string kNone;
  return reference_ != nullptr ? reference_->Error() : kNone;
}

bool IndexedWriter::AddRow(std::span<const std::uint8_t> rgba) { return Add(rgba, nullptr); }

bool IndexedWriter::AddIndexRow(std::span<const std::uint8_t> indices) {
  colours_.resize(indices.size() * kRgba);
  Colour(indices, palette_, colours_.data());
  return Add(colours_, indices.data());
}

bool IndexedWriter::Add(std::span<const std::uint8_t> rgba, const std::uint8_t* given) {
  if (failed_) return false;
  std::span<const std::uint8_t> theirs;
  if (reference_ != nullptr) {
    theirs = reference_->NextRow();
    failed_ = theirs.empty();
    if (failed_) return false;
  }
  std::span<const std::uint8_t> row = rgba;
  for (std::size_t i = 0; i < levels_.size(); ++i) {
    Level& level = *levels_[i];
    const std::span<const std::uint8_t> ours =
        level.Put(row, i == 0 ? given : nullptr, i == 0 && !theirs.empty() ? theirs.data() : nullptr, sink_);
    failed_ = ours.empty();
    if (failed_) return false;
    if (i == 0 && level0AsReference_) level0AsReference_ = std::equal(ours.begin(), ours.end(), theirs.begin());
    if (i + 1 == levels_.size() || !level.Hold(row)) break;
    row = level.Halve();
  }
  return true;
}

bool IndexedWriter::Finish() {
  for (const auto& level : levels_) failed_ = failed_ || !level->Complete() || !level->Flush(sink_);
  if (failed_ || !level0AsReference_) return !failed_;
  const ReferenceLevels::Kept kept = reference_->KeepMips(shapes_, sink_);
  kept_ = kept == ReferenceLevels::Kept::kKept;
  failed_ = kept == ReferenceLevels::Kept::kFailed;
  return !failed_;
}

std::string WriteIndexed(RowReader& image, const M32Layout& layout, std::span<const std::uint8_t> header,
                         PositionedSink& out, NearestColour& nearest, IndexedOptions options,
                         ReferenceLevels* reference) {
  if (!image.Error().empty()) return image.Error();
  if (!layout.error.empty()) return layout.error;
  const std::string kSinkFailed = "cannot write the texture";
  out.Reserve(layout.fileSize);
  if (!out.WriteAt(0, header)) return kSinkFailed;
  IndexedWriter writer(layout, out, nearest, options, reference);
  // A palette image whose palette is the target's (or its start) gives its indices as
  // they are, whatever their colours.
  const bool byIndex = !image.PaletteColours().empty() && IsPrefixOf(image.PaletteColours(), nearest.Colours());
  std::vector<std::uint8_t> row(std::size_t{image.Width()} * (byIndex ? 1 : kRgba));
  for (std::uint32_t y = 0; y < image.Height(); ++y) {
    if (!(byIndex ? image.ReadIndexRow(row) : image.ReadRow(row)))
      return image.Error().empty() ? "the image ends before its last row" : image.Error();
    if (!(byIndex ? writer.AddIndexRow(row) : writer.AddRow(row))) break;
  }
  if (writer.Finish()) return {};
  return writer.ReferenceError().empty() ? kSinkFailed : "the reference: " + writer.ReferenceError();
}

}  // namespace formats
