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

#include "formats/tga_header.h"

namespace formats::tga {

using sys::WithSeparators;

namespace {

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

}  // namespace

// The fields of the header that do not depend on the file's size.
std::string ParseFields(std::span<const std::uint8_t> header, TgaFormat& format) {
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
std::string PlaceParts(std::span<const std::uint8_t> header, std::uint64_t fileSize, TgaFormat& format) {
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
bool CarriesAlpha(const TgaFormat& format) {
  switch (format.kind) {
    case Kind::kMapped: return format.mapEntryBits == 16 || format.mapEntryBits == 32;
    case Kind::kTrueColour: return format.depth == 16 || format.depth == 32;
    case Kind::kGrey: return format.depth == 16;
  }
  return false;
}

}  // namespace formats::tga
