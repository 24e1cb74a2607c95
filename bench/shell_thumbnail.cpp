// shell_thumbnail SIZE INPUT.m32 OUTPUT.bgra: the thumbnail pellicar-shell.dll gives
// Explorer, made by the same portable code over the converter's file reader, its pixels
// written raw (blue, green, red, alpha; rows top-down), so that bench/preview.sh can time
// it on Linux.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "file_io.h"
#include "m32_bitmap.h"

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fputs("usage: shell_thumbnail SIZE INPUT.m32 OUTPUT.bgra\n", stderr);
    return 2;
  }
  m32tga::InputFile input(argv[2]);
  const shell::BitmapResult thumbnail =
      shell::ReadThumbnail(input, static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)));
  if (!thumbnail.Ok()) {
    std::fprintf(stderr, "shell_thumbnail: %s: %s\n", argv[2], thumbnail.reason.c_str());
    return 1;
  }
  std::ofstream output(argv[3], std::ios::binary);
  output.write(reinterpret_cast<const char*>(thumbnail.bitmap.bgra.data()),
               static_cast<std::streamsize>(thumbnail.bitmap.bgra.size()));
  return output.good() ? 0 : 1;
}
