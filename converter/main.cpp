// Pellicar.exe: converts m32 textures to TGA files beside them, and TGA files back to m32.
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
  std::vector<std::filesystem::path> outputs;
  for (const std::filesystem::path& input : line.inputs)
    outputs.push_back(line.output.value_or(DefaultOutputFor(input)));
  if (const auto input = OutputOverAnInput(line.inputs, outputs)) {
    PrintError("Pellicar.exe: " + DisplayName(*input) + " is an input and would be replaced by an output\n" +
               "Try 'Pellicar.exe --help'.\n");
    return kWrongCommandLine;
  }
  // Read whole before anything is written, so that it may also be the output.
  const M32Reference like = line.like ? ReadM32Reference(*line.like) : M32Reference{};
  if (!like.error.empty()) {
    PrintError(DisplayName(*line.like) + ": " + like.error + "\n");
    return kSomeFailed;
  }
  int status = line.unmatched.empty() ? kAllConverted : kSomeFailed;
  for (const std::string& failure : line.unmatched) PrintError(failure + "\n");
  for (std::size_t i = 0; i < line.inputs.size(); ++i) {
    const std::filesystem::path& input = line.inputs[i];
    const std::string error = IsTgaName(input) ? ConvertTgaFile(input, outputs[i], line.like ? &like.header : nullptr)
                                               : ConvertFile(input, outputs[i], line.depth);
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
