// Where each kind of palette file keeps its colours:
//
//   PCX       a 128-byte header (byte 0 is 10, byte 3 the bits per pixel, byte 65 the
//             planes: 8 and 1 for 256 colours), the image, then the byte 12 and 768
//             bytes of colour: the last 769 bytes of the file.
//   JASC-PAL  text: "JASC-PAL", "0100", the number of colours, then one "red green blue"
//             line per colour, each 0 to 255; lines end in CR LF or LF.
//   m8        768 bytes of colour at offset 260 of its 1,040-byte header.
//   raw       768 bytes of colour and nothing else (Quake's palette.lmp, for one).

#include "formats/palette.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

#include "formats/m8.h"
#include "system/number_text.h"

namespace formats {

using sys::WithSeparators;

namespace {

constexpr std::size_t kPcxHeaderBytes = 128;
constexpr std::uint8_t kPcxMaker = 10;
constexpr std::size_t kPcxBitsAt = 3;
constexpr std::size_t kPcxPlanesAt = 65;
constexpr std::uint8_t kPcxPaletteMark = 12;
constexpr std::string_view kJascMagic = "JASC-PAL";
constexpr std::string_view kJascVersion = "0100";
// 256 lines of "255 255 255" and the three above them take about 3.5 KiB; blanks and
// line ends may add to that, but not this much.
constexpr std::uint64_t kMostJascBytes = 64 * 1024;

PaletteResult Refusal(std::string reason) { return {Palette{}, std::move(reason)}; }

PaletteResult FromBytes(std::span<const std::uint8_t> colours) {
  PaletteResult result;
  std::copy_n(colours.begin(), kPaletteBytes, result.palette.rgb.begin());
  return result;
}

bool StartsWith(std::span<const std::uint8_t> file, std::string_view text) {
  return file.size() >= text.size() && std::memcmp(file.data(), text.data(), text.size()) == 0;
}

// The header at the start and the palette at the end: the image between is not read.
PaletteResult ReadPcxPalette(ByteSource& file, std::span<const std::uint8_t> head) {
  if (file.Size() < kPcxHeaderBytes + 1 + kPaletteBytes) {
    return Refusal("too short for a 256-colour PCX: " + WithSeparators(file.Size()) + " bytes");
  }
  if (head[kPcxBitsAt] != 8 || head[kPcxPlanesAt] != 1) {
    return Refusal("not a 256-colour PCX: " + WithSeparators(head[kPcxBitsAt]) + " bits per pixel in " +
                   WithSeparators(head[kPcxPlanesAt]) + " planes");
  }
  std::array<std::uint8_t, 1 + kPaletteBytes> tail{};
  if (!file.ReadAt(file.Size() - tail.size(), tail)) return Refusal(file.Error());
  if (tail[0] != kPcxPaletteMark) {
    return Refusal("a PCX without its 256-colour palette: the byte 769 from the end is " + WithSeparators(tail[0]) +
                   ", not 12");
  }
  return FromBytes(std::span(tail).subspan(1));
}

// The text's lines, one at a time, without their line ends.
class Lines {
 public:
  explicit Lines(std::span<const std::uint8_t> file) : text_(reinterpret_cast<const char*>(file.data()), file.size()) {}
  bool Next(std::string_view& line) {
    if (text_.empty()) return false;
    const std::size_t end = std::min(text_.find('\n'), text_.size());
    line = text_.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    text_.remove_prefix(std::min(end + 1, text_.size()));
    ++number_;
    return true;
  }
  std::size_t Number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t number_ = 0;
};

// Whole numbers from 0 to `most` separated by blanks, exactly `count` of them.
bool ReadNumbers(std::string_view line, unsigned most, std::span<unsigned> numbers) {
  const char* at = line.data();
  const char* end = line.data() + line.size();
  for (unsigned& number : numbers) {
    while (at != end && (*at == ' ' || *at == '\t')) ++at;
    const auto [next, fault] = std::from_chars(at, end, number);
    if (fault != std::errc{} || number > most) return false;
    at = next;
  }
  while (at != end && (*at == ' ' || *at == '\t')) ++at;
  return at == end;
}

PaletteResult ReadJascPalette(ByteSource& source) {
  if (source.Size() > kMostJascBytes) {
    return Refusal("a JASC-PAL file of " + WithSeparators(source.Size()) + " bytes, more than 256 colours take");
  }
  std::vector<std::uint8_t> file(static_cast<std::size_t>(source.Size()));
  if (!source.ReadAt(0, file)) return Refusal(source.Error());
  Lines lines(file);
  std::string_view line;
  lines.Next(line);
  if (!lines.Next(line) || line != kJascVersion) return Refusal("a JASC-PAL file whose second line is not 0100");
  unsigned count = 0;
  if (!lines.Next(line) || !ReadNumbers(line, 65535, std::span(&count, 1))) {
    return Refusal("a JASC-PAL file without its number of colours on line 3");
  }
  if (count != kPaletteColours) {
    return Refusal("a JASC-PAL file of " + WithSeparators(count) + " colours; an 8-bit texture's palette has 256");
  }
  PaletteResult result;
  for (std::size_t index = 0; index < kPaletteColours; ++index) {
    std::array<unsigned, 3> colour{};
    if (!lines.Next(line)) return Refusal("a JASC-PAL file that ends after " + WithSeparators(index) + " colours");
    if (!ReadNumbers(line, 255, colour)) {
      return Refusal("a JASC-PAL file whose line " + WithSeparators(lines.Number()) +
                     " is not three numbers from 0 to 255");
    }
    std::copy(colour.begin(), colour.end(), result.palette.rgb.begin() + index * 3);
  }
  return result;
}

PaletteResult ReadM8Palette(ByteSource& file, std::span<const std::uint8_t> head) {
  const HeaderResult header = CheckM8Header(head, file.Size());
  if (!header.Ok()) return Refusal(header.error);
  return {M8Palette(head), {}};
}

}  // namespace

ReservedIndices M8Reserved() { return ReservedIndices{}.set(0).set(255); }
ReservedIndices WalReserved() { return ReservedIndices{}.set(255); }

PaletteResult ReadPalette(ByteSource& file) {
  // As much of the start as an m8's header, or all of a shorter file.
  std::array<std::uint8_t, kM8HeaderBytes> buffer{};
  const std::span<std::uint8_t> head =
      std::span(buffer).first(static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), buffer.size())));
  if (!file.ReadAt(0, head)) return Refusal(file.Error());
  if (StartsWith(head, kJascMagic)) return ReadJascPalette(file);
  if (!head.empty() && head[0] == kPcxMaker) return ReadPcxPalette(file, head);
  if (head.size() >= 4 && head[0] == kM8Version && head[1] == 0 && head[2] == 0 && head[3] == 0) {
    return ReadM8Palette(file, head);
  }
  if (file.Size() == kPaletteBytes) return FromBytes(head);
  return Refusal("not a palette: neither a 256-colour PCX, a JASC-PAL file, an m8 texture nor 768 bytes of colour (" +
                 WithSeparators(file.Size()) + " bytes)");
}

bool IsPrefixOf(std::span<const std::uint8_t> colours, const Palette& target) {
  return colours.size() <= kPaletteBytes && colours.size() % 3 == 0 &&
         std::equal(colours.begin(), colours.end(), target.rgb.begin());
}

}  // namespace formats
