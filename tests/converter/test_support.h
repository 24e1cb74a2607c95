// Running Pellicar.exe as a user would, and the files around it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "m32write.h"
#include "support/support.h"

using testing_support::TempDir;

namespace fs = std::filesystem;

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the converter with exactly these arguments, no shell in between; a file size
// limit makes its writes fail past that many bytes.
RunResult RunConverter(const std::vector<std::string>& arguments, rlim_t fileSizeLimit = RLIM_INFINITY);

std::vector<std::uint8_t> ReadBytes(const fs::path& file);
void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes);

// Every channel changes from pixel to pixel, so a swapped channel, a flipped row or a
// dropped pixel shows; alpha runs through all 256 values.
m32write::RgbaImage VariedImage(std::uint32_t width, std::uint32_t height);
