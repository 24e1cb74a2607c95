// shell_thumbnail SIZE INPUT.m32 OUTPUT.bgra [TIMES]: the thumbnail pellicar-shell.dll
// gives Explorer, made by the same portable code over the converter's file reader, TIMES
// times over (default 1) so that the work outweighs starting the process, its pixels
// written raw (blue, green, red, alpha; rows top-down), so that bench/preview.sh can time
// it on Linux.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "m32_bitmap.h"
#include "system/files.h"

int main(int argc, char* argv[]) {
  if (argc != 4 && argc != 5) {
    std::fputs("usage: shell_thumbnail SIZE INPUT.m32 OUTPUT.bgra [TIMES]\n", stderr);
    return 2;
  }
  const auto size = static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10));
  const unsigned long times = argc == 5 ? std::strtoul(argv[4], nullptr, 10) : 1;
  shell::BitmapResult thumbnail;
  for (unsigned long time = 0; time < times && thumbnail.Ok(); ++time) {
    sys::InputFile input(argv[2]);  // opened each time, as Explorer hands over each file afresh
    formats::SourceOf<sys::InputFile> source(input);
    thumbnail = shell::ReadThumbnail(source, size);
  }
  if (!thumbnail.Ok()) {
    std::fprintf(stderr, "shell_thumbnail: %s: %s\n", argv[2], thumbnail.reason.c_str());
    return 1;
  }
  std::ofstream output(argv[3], std::ios::binary);
  output.write(reinterpret_cast<const char*>(thumbnail.bitmap.bgra.data()),
               static_cast<std::streamsize>(thumbnail.bitmap.bgra.size()));
  return output.good() ? 0 : 1;
}
