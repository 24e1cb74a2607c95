// Pellicar.exe: converts m32 textures to TGA files beside them.
#include <filesystem>
#include <span>
#include <vector>

#include "command_line.h"
#include "convert.h"
#include "file_io.h"

namespace {

constexpr int kAllConverted = 0;
constexpr int kSomeFailed = 1;
constexpr int kWrongCommandLine = 2;

int Run(std::span<const std::filesystem::path> arguments) {
  using namespace m32tga;
  const CommandLine line = ParseCommandLine(arguments);
  switch (line.action) {
    case Action::kHelp: PrintOutput(kUsage); return kAllConverted;
    case Action::kVersion: PrintOutput(kVersionText); return kAllConverted;
    case Action::kUsageError:
      PrintError("Pellicar.exe: " + line.error + "\nTry 'Pellicar.exe --help'.\n");
      return kWrongCommandLine;
    case Action::kConvert: break;
  }
  int status = kAllConverted;
  for (const std::filesystem::path& input : line.inputs) {
    const std::string error = ConvertFile(input, line.output.value_or(DefaultOutputFor(input)), line.depth);
    if (error.empty()) continue;
    PrintError(DisplayName(input) + ": " + error + "\n");
    status = kSomeFailed;
  }
  return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  const std::vector<std::filesystem::path> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return Run(arguments);
}
