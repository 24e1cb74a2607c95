// palette_bench: the palette mapping measured on real textures, for bench/palette.sh.
//
//   palette_bench map [--dither] [--level0] PALETTE OUTDIR LIST
//                                                       each TGA of LIST (one path a line) to
//                                                       OUTDIR/N.m8, N its line number from 0;
//                                                       every level, or level 0 alone
//   palette_bench error LIST DIR EXT                    the error of DIR/N.EXT (m8 or a TGA)
//                                                       against line N's TGA
//   palette_bench metrics PALETTE LIST                  the error of each distance the mapping
//                                                       could use, nearest and dithered
//
// The error is the mean squared difference in linear light (0 to 1, red, green and blue
// alike) after a 3 x 3 binomial blur of both images, so that dithering, which trades
// each pixel's error for the right average, is credited; alpha is left out, as the 8-bit
// formats have none. The palette's indices 0 and 255 are reserved, as m8's are.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unordered_map>
#include <vector>

#include "formats/indexed_writer.h"
#include "formats/linear_light.h"
#include "formats/m8.h"
#include "formats/tga_reader.h"
#include "system/files.h"

namespace {

struct Image {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;
};

std::vector<std::string> Lines(const char* file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::uint8_t> Bytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

bool ReadAll(formats::RowReader& reader, Image& image) {
  image = {reader.Width(), reader.Height(),
           std::vector<std::uint8_t>(std::size_t{reader.Width()} * reader.Height() * 4)};
  for (std::uint32_t y = 0; reader.Error().empty() && y < image.height; ++y) {
    if (!reader.ReadRow(std::span(image.rgba).subspan(std::size_t{y} * image.width * 4, std::size_t{image.width} * 4)))
      break;
  }
  if (!reader.Error().empty()) std::fprintf(stderr, "palette_bench: %s\n", reader.Error().c_str());
  return reader.Error().empty();
}

bool ReadImage(const std::string& path, Image& image) {
  sys::InputFile input(path);
  formats::SourceOf<sys::InputFile> file(input);
  if (path.ends_with(".m8")) {
    const formats::M8Read header = formats::ReadM8Header(file);
    formats::IndexedReader reader(file, header.level0, formats::M8Palette(header.header));
    return ReadAll(reader, image);
  }
  formats::TgaReader reader(file);
  return ReadAll(reader, image);
}

// Linear light, blurred by [1 2 1] / 4 each way, edges repeated.
std::vector<float> BlurredLight(const Image& image) {
  const std::size_t w = image.width;
  const std::size_t h = image.height;
  std::vector<float> light(w * h * 3);
  for (std::size_t p = 0; p < w * h; ++p) {
    for (std::size_t c = 0; c < 3; ++c) light[p * 3 + c] = formats::LinearLight(image.rgba[p * 4 + c]);
  }
  std::vector<float> across(light.size());
  for (std::size_t y = 0; y < h; ++y) {
    for (std::size_t x = 0; x < w; ++x) {
      const std::size_t left = x == 0 ? x : x - 1;
      const std::size_t right = x + 1 == w ? x : x + 1;
      for (std::size_t c = 0; c < 3; ++c) {
        across[(y * w + x) * 3 + c] =
            (light[(y * w + left) * 3 + c] + 2 * light[(y * w + x) * 3 + c] + light[(y * w + right) * 3 + c]) / 4;
      }
    }
  }
  for (std::size_t y = 0; y < h; ++y) {
    const std::size_t up = y == 0 ? y : y - 1;
    const std::size_t down = y + 1 == h ? y : y + 1;
    for (std::size_t i = 0; i < w * 3; ++i) {
      light[y * w * 3 + i] = (across[up * w * 3 + i] + 2 * across[y * w * 3 + i] + across[down * w * 3 + i]) / 4;
    }
  }
  return light;
}

struct Error {
  double sum = 0;
  double samples = 0;
  void Add(const Image& original, const Image& mapped) {
    const std::vector<float> a = BlurredLight(original);
    const std::vector<float> b = BlurredLight(mapped);
    for (std::size_t i = 0; i < a.size(); ++i) sum += double(a[i] - b[i]) * (a[i] - b[i]);
    samples += static_cast<double>(a.size());
  }
  double Mean() const { return samples > 0 ? sum / samples : 0; }
};

formats::Palette LoadPalette(const char* file) {
  const std::vector<std::uint8_t> bytes = Bytes(file);
  formats::MemorySource source(bytes);
  const formats::PaletteResult read = formats::ReadPalette(source);
  if (!read.Ok()) {
    std::fprintf(stderr, "palette_bench: %s: %s\n", file, read.error.c_str());
    std::exit(1);
  }
  return read.palette;
}

struct MemorySink final : formats::PositionedSink {
  std::vector<std::uint8_t> bytes;
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> more) override {
    if (bytes.size() < offset + more.size()) bytes.resize(static_cast<std::size_t>(offset + more.size()));
    std::copy(more.begin(), more.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
  }
  void Reserve(std::uint64_t size) override { bytes.reserve(static_cast<std::size_t>(size)); }
};

int Map(bool dither, bool level0, const char* paletteFile, const std::string& outDir, const char* list) {
  const formats::Palette palette = LoadPalette(paletteFile);
  formats::NearestColour nearest(palette, formats::M8Reserved());
  const std::vector<std::string> inputs = Lines(list);
  for (std::size_t n = 0; n < inputs.size(); ++n) {
    sys::InputFile input(inputs[n]);
    formats::SourceOf<sys::InputFile> file(input);
    formats::TgaReader reader(file);
    const formats::M32Layout layout =
        formats::LayOutM8(reader.Width(), reader.Height(), level0 ? 1 : formats::kM8Levels);
    formats::M8Header header = formats::DefaultM8Header("bench", palette);
    formats::PutM8Levels(layout.levels, header);
    MemorySink sink;
    const std::string error =
        formats::WriteIndexed(reader, layout, header, sink, nearest, {.dither = dither, .average = {}});
    if (!error.empty()) {
      std::fprintf(stderr, "palette_bench: %s: %s\n", inputs[n].c_str(), error.c_str());
      return 1;
    }
    std::ofstream out(outDir + "/" + std::to_string(n) + ".m8", std::ios::binary);
    out.write(reinterpret_cast<const char*>(sink.bytes.data()), static_cast<std::streamsize>(sink.bytes.size()));
    if (!out) return 1;
  }
  return 0;
}

int Errors(const char* list, const std::string& dir, const std::string& extension) {
  const std::vector<std::string> originals = Lines(list);
  Error error;
  for (std::size_t n = 0; n < originals.size(); ++n) {
    Image original;
    Image mapped;
    if (!ReadImage(originals[n], original) || !ReadImage(dir + "/" + std::to_string(n) + "." + extension, mapped))
      return 1;
    if (original.width != mapped.width || original.height != mapped.height) {
      std::fprintf(stderr, "palette_bench: %zu: sizes differ\n", n);
      return 1;
    }
    error.Add(original, mapped);
  }
  std::printf("%.4e\n", error.Mean());
  return 0;
}

// Oklab, for the one distance the table cannot hold, sought over the whole palette.
std::array<double, 3> Oklab(const std::uint8_t* rgb) {
  const double r = formats::LinearLight(rgb[0]), g = formats::LinearLight(rgb[1]), b = formats::LinearLight(rgb[2]);
  const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
  const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
  const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
  return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
          1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
          0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

Image MapOklab(const Image& image, const formats::Palette& palette, formats::ReservedIndices reserved) {
  std::array<std::array<double, 3>, 256> lab{};
  for (std::size_t i = 0; i < 256; ++i) lab[i] = Oklab(palette.Colour(i));
  std::unordered_map<std::uint32_t, std::uint8_t> memo;
  Image mapped = image;
  for (std::size_t p = 0; p < image.rgba.size(); p += 4) {
    const std::uint32_t key = image.rgba[p] << 16 | image.rgba[p + 1] << 8 | image.rgba[p + 2];
    auto [at, fresh] = memo.try_emplace(key, 0);
    if (fresh) {
      const std::array<double, 3> want = Oklab(&image.rgba[p]);
      double best = 1e300;
      for (std::size_t i = 0; i < 256; ++i) {
        if (reserved.test(i)) continue;
        const double d = (want[0] - lab[i][0]) * (want[0] - lab[i][0]) + (want[1] - lab[i][1]) * (want[1] - lab[i][1]) +
                         (want[2] - lab[i][2]) * (want[2] - lab[i][2]);
        if (d < best) best = d, at->second = static_cast<std::uint8_t>(i);
      }
    }
    std::copy_n(palette.Colour(at->second), 3, &mapped.rgba[p]);
  }
  return mapped;
}

Image MapWith(const Image& image, formats::NearestColour& nearest, bool dither) {
  Image mapped = image;
  std::vector<std::uint8_t> indices(image.width);
  formats::ErrorDiffusion diffusion(nearest, image.width);
  for (std::size_t y = 0; y < image.height; ++y) {
    const std::span<const std::uint8_t> row(&image.rgba[y * image.width * 4], std::size_t{image.width} * 4);
    if (dither) {
      diffusion.MapRow(row, indices);
    } else {
      nearest.MapRow(row, indices);
    }
    formats::Colour(indices, nearest.Colours(), &mapped.rgba[y * image.width * 4]);
  }
  return mapped;
}

int Metrics(const char* paletteFile, const char* list) {
  const formats::Palette palette = LoadPalette(paletteFile);
  formats::ColourMetric weighted = formats::SrgbDistance();
  weighted.weight = {2, 4, 3};
  const std::array<std::pair<const char*, formats::ColourMetric>, 3> metrics = {
      {{"sRGB squared (the engines' tools)", formats::SrgbDistance()},
       {"sRGB weighted 2:4:3", weighted},
       {"linear light (the one chosen)", formats::LightDistance()}}};
  std::vector<formats::NearestColour> mappers;
  for (const auto& [name, metric] : metrics) mappers.emplace_back(palette, formats::M8Reserved(), metric);
  std::vector<Error> nearest(metrics.size()), dithered(metrics.size());
  Error oklab;
  for (const std::string& path : Lines(list)) {
    Image image;
    if (!ReadImage(path, image)) return 1;
    for (std::size_t m = 0; m < metrics.size(); ++m) {
      nearest[m].Add(image, MapWith(image, mappers[m], false));
      dithered[m].Add(image, MapWith(image, mappers[m], true));
    }
    oklab.Add(image, MapOklab(image, palette, formats::M8Reserved()));
  }
  for (std::size_t m = 0; m < metrics.size(); ++m) {
    std::printf("%-36s nearest %.4e  dithered %.4e\n", metrics[m].first, nearest[m].Mean(), dithered[m].Mean());
  }
  std::printf("%-36s nearest %.4e\n", "Oklab (whole palette searched)", oklab.Mean());
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "map") {
    const auto flag = [&](const char* name) {
      const auto at = std::find(args.begin(), args.end(), name);
      return at != args.end() && (args.erase(at), true);
    };
    const bool dither = flag("--dither");
    const bool level0 = flag("--level0");
    if (args.size() == 4) return Map(dither, level0, args[1].c_str(), args[2], args[3].c_str());
  }
  if (args.size() == 4 && args[0] == "error") return Errors(argv[2], args[2], args[3]);
  if (args.size() == 3 && args[0] == "metrics") return Metrics(argv[2], argv[3]);
  std::fputs(
      "usage: palette_bench map [--dither] [--level0] PALETTE OUTDIR LIST | error LIST DIR EXT | metrics PALETTE "
      "LIST\n",
      stderr);
  return 2;
}
