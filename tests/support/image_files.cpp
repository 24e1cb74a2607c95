#include "image_files.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace image_files {
namespace {

std::uint8_t FiveToEight(unsigned value) { return static_cast<std::uint8_t>(std::lround(value * 255.0 / 31.0)); }
unsigned EightToFive(std::uint8_t value) { return static_cast<unsigned>(std::lround(value * 31.0 / 255.0)); }

using Pixel = Bytes;  // one pixel as stored

constexpr std::size_t kExtensionBytes = 495;

void PutU16(Bytes& bytes, unsigned value) {
  bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8 & 0xFF));
}

// A colour as true-colour bytes of `bits`: blue, green, red (alpha), or 16 bits ARRRRRGGGGGBBBBB.
Pixel ColourBytes(const std::uint8_t* rgba, unsigned bits) {
  if (bits == 24) return {rgba[2], rgba[1], rgba[0]};
  if (bits == 32) return {rgba[2], rgba[1], rgba[0], rgba[3]};
  const unsigned attribute = bits == 16 && rgba[3] >= 128 ? 0x8000 : 0;
  const unsigned value = attribute | EightToFive(rgba[0]) << 10 | EightToFive(rgba[1]) << 5 | EightToFive(rgba[2]);
  return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

bool Mapped(const TgaFormat& format) { return (format.type & 7) == 1; }
bool Grey(const TgaFormat& format) { return (format.type & 7) == 3; }
bool RunLength(const TgaFormat& format) { return format.type >= 9; }

std::map<Pixel, unsigned> MapOf(const RgbaImage& image) {
  std::map<Pixel, unsigned> map;
  for (auto pixel = image.rgba.begin(); pixel != image.rgba.end(); pixel += 4) map.emplace(Pixel(pixel, pixel + 4), 0);
  unsigned index = 0;
  for (auto& [colour, entry] : map) entry = index++;
  return map;
}

Pixel Stored(const std::uint8_t* rgba, const TgaFormat& format, const std::map<Pixel, unsigned>& map) {
  if (Grey(format)) return format.depth == 16 ? Pixel{rgba[0], rgba[3]} : Pixel{rgba[0]};
  if (!Mapped(format)) return ColourBytes(rgba, format.depth);
  const unsigned index = map.at(Pixel(rgba, rgba + 4)) + format.mapFirst;
  if (format.depth == 8) return {static_cast<std::uint8_t>(index)};
  return {static_cast<std::uint8_t>(index & 0xFF), static_cast<std::uint8_t>(index >> 8)};
}

// The image's pixels in the order the file stores them, row by row.
std::vector<std::vector<Pixel>> StoredRows(const RgbaImage& image, const TgaFormat& format,
                                           const std::map<Pixel, unsigned>& map) {
  std::vector<std::vector<Pixel>> rows;
  for (std::uint32_t i = 0; i < image.height; ++i) {
    const std::uint32_t y = format.topFirst ? i : image.height - 1 - i;
    std::vector<Pixel> row;
    for (std::uint32_t j = 0; j < image.width; ++j) {
      const std::uint32_t x = format.rightToLeft ? image.width - 1 - j : j;
      row.push_back(Stored(&image.rgba[(std::size_t{y} * image.width + x) * 4], format, map));
    }
    rows.push_back(row);
  }
  return rows;
}

// Runs of two or more equal pixels become run packets, everything else raw packets.
void AppendPackets(const std::vector<Pixel>& pixels, Bytes& out) {
  constexpr std::size_t kMaxPacket = 128;
  const auto runAt = [&](std::size_t i) {
    std::size_t n = 1;
    while (i + n < pixels.size() && n < kMaxPacket && pixels[i + n] == pixels[i]) ++n;
    return n;
  };
  for (std::size_t i = 0; i < pixels.size();) {
    if (const std::size_t run = runAt(i); run >= 2) {
      out.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
      out.insert(out.end(), pixels[i].begin(), pixels[i].end());
      i += run;
      continue;
    }
    std::size_t raw = 1;
    while (i + raw < pixels.size() && raw < kMaxPacket && runAt(i + raw) < 2) ++raw;
    out.push_back(static_cast<std::uint8_t>(raw - 1));
    for (std::size_t k = i; k < i + raw; ++k) out.insert(out.end(), pixels[k].begin(), pixels[k].end());
    i += raw;
  }
}

void AppendPixels(const std::vector<std::vector<Pixel>>& rows, const TgaFormat& format, Bytes& out) {
  if (RunLength(format) && !format.packetsCrossRows) {
    for (const auto& row : rows) AppendPackets(row, out);
    return;
  }
  std::vector<Pixel> all;
  for (const auto& row : rows) all.insert(all.end(), row.begin(), row.end());
  if (RunLength(format)) return AppendPackets(all, out);
  for (const Pixel& pixel : all) out.insert(out.end(), pixel.begin(), pixel.end());
}

// The sums of one block of the level above: colour weighted by alpha, colour, alpha, pixels.
struct BlockSums {
  std::uint64_t weighted[3] = {};
  std::uint64_t plain[3] = {};
  std::uint64_t alpha = 0;
  std::uint64_t count = 0;
};

std::uint8_t Nearest(std::uint64_t sum, std::uint64_t count) {
  return static_cast<std::uint8_t>((2 * sum + count) / (2 * count));
}

}  // namespace

void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i) & 0xFF);
}

std::uint32_t U32(const Bytes& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes.at(at + static_cast<std::size_t>(i));
  return value;
}

RgbaImage HalfSize(const RgbaImage& image) {
  RgbaImage half{std::max(image.width / 2, 1u), std::max(image.height / 2, 1u), {}};
  std::vector<BlockSums> sums(std::size_t{half.width} * half.height);
  for (std::uint32_t y = 0; y < image.height; ++y) {
    for (std::uint32_t x = 0; x < image.width; ++x) {
      BlockSums& sum =
          sums[std::size_t{std::min(y / 2, half.height - 1)} * half.width + std::min(x / 2, half.width - 1)];
      const std::uint8_t* p = &image.rgba[(std::size_t{y} * image.width + x) * 4];
      for (int c = 0; c < 3; ++c) {
        sum.weighted[c] += std::uint64_t{p[c]} * p[3];
        sum.plain[c] += p[c];
      }
      sum.alpha += p[3];
      ++sum.count;
    }
  }
  for (const BlockSums& sum : sums) {
    for (int c = 0; c < 3; ++c)
      half.rgba.push_back(sum.alpha > 0 ? Nearest(sum.weighted[c], sum.alpha) : Nearest(sum.plain[c], sum.count));
    half.rgba.push_back(Nearest(sum.alpha, sum.count));
  }
  return half;
}

Bytes EncodeM32(const RgbaImage& level0, std::string_view name) {
  constexpr std::size_t kNameAt = 4, kNameBytes = 128;
  constexpr std::size_t kScalesAt[] = {720, 724, 860, 864};
  constexpr std::uint32_t kOne = 0x3F800000;  // 1.0f
  Bytes file(kHeaderBytes);
  PutU32(file, kVersionAt, kVersion);
  std::copy_n(name.begin(), std::min(name.size(), kNameBytes - 1), file.begin() + kNameAt);
  for (const std::size_t at : kScalesAt) PutU32(file, at, kOne);
  RgbaImage level = level0;
  for (std::size_t i = 0; i < kMaxLevels; ++i) {
    PutU32(file, kWidthsAt + 4 * i, level.width);
    PutU32(file, kHeightsAt + 4 * i, level.height);
    PutU32(file, kOffsetsAt + 4 * i, static_cast<std::uint32_t>(file.size()));
    file.insert(file.end(), level.rgba.begin(), level.rgba.end());
    if (level.width == 1 && level.height == 1) break;
    level = HalfSize(level);
  }
  return file;
}

Bytes MakeTga(const RgbaImage& image, const TgaFormat& format) {
  const std::map<Pixel, unsigned> map = Mapped(format) ? MapOf(image) : std::map<Pixel, unsigned>{};
  Bytes out{static_cast<std::uint8_t>(format.imageId.size()), Mapped(format) ? std::uint8_t{1} : std::uint8_t{0},
            format.type};
  PutU16(out, format.mapFirst);
  PutU16(out, static_cast<unsigned>(map.size()));
  out.push_back(static_cast<std::uint8_t>(format.mapEntryBits));
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, image.width);
  PutU16(out, image.height);
  out.push_back(static_cast<std::uint8_t>(format.depth));
  out.push_back(
      static_cast<std::uint8_t>(format.alphaBits | (format.rightToLeft ? 0x10 : 0) | (format.topFirst ? 0x20 : 0)));
  out.insert(out.end(), format.imageId.begin(), format.imageId.end());
  for (const auto& [colour, index] : map) {
    const Pixel entry = ColourBytes(colour.data(), format.mapEntryBits);
    out.insert(out.end(), entry.begin(), entry.end());
  }
  AppendPixels(StoredRows(image, format, map), format, out);
  std::uint32_t extensionAt = 0;
  if (format.attributesType) {
    extensionAt = static_cast<std::uint32_t>(out.size());
    Bytes extension(kExtensionBytes);
    extension[0] = kExtensionBytes & 0xFF;
    extension[1] = kExtensionBytes >> 8;
    extension[kExtensionBytes - 1] = *format.attributesType;
    out.insert(out.end(), extension.begin(), extension.end());
  }
  if (format.footer || format.attributesType) {
    const Bytes footer = TgaFooter(extensionAt);
    out.insert(out.end(), footer.begin(), footer.end());
  }
  return out;
}

Bytes TgaFooter(std::uint32_t extensionAt) {
  constexpr std::string_view kSignature{"TRUEVISION-XFILE.\0", 18};
  Bytes footer(8 + kSignature.size());
  for (std::size_t i = 0; i < 4; ++i) footer[i] = static_cast<std::uint8_t>(extensionAt >> (8 * i) & 0xFF);
  std::copy(kSignature.begin(), kSignature.end(), footer.begin() + 8);
  return footer;
}

RgbaImage FewColourImage(std::uint32_t width, std::uint32_t height) {
  const unsigned fives[][4] = {{31, 0, 0, 1},   {0, 31, 0, 1}, {0, 0, 31, 0},   {3, 7, 24, 1},
                               {28, 15, 16, 1}, {1, 30, 2, 0}, {17, 17, 17, 1}, {9, 22, 4, 1},
                               {31, 31, 31, 0}, {0, 0, 0, 1},  {12, 3, 29, 1},  {25, 19, 8, 0}};
  RgbaImage image{width, height, {}};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const bool edgeRow = y < 2 || y + 2 >= height;
      const unsigned* five = fives[edgeRow ? 4 : (x * x + 3 * y + x / 3) % 12];
      for (int c = 0; c < 3; ++c) image.rgba.push_back(FiveToEight(five[c]));
      image.rgba.push_back(five[3] ? 255 : 0);
    }
  }
  return image;
}

RgbaImage VariedImage(std::uint32_t width, std::uint32_t height) {
  RgbaImage image{width, height, {}};
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
    image.rgba.insert(image.rgba.end(),
                      {static_cast<std::uint8_t>(i * 7 + 1), static_cast<std::uint8_t>(i * 13 / 3 + 50),
                       static_cast<std::uint8_t>(255 - i * 29), static_cast<std::uint8_t>(i)});
  }
  return image;
}

Bytes ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const std::filesystem::path& file, const Bytes& bytes) {
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace image_files
