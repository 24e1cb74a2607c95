// Pellicar.exe: converts m32 textures to TGA files beside them, and TGA files back to m32.
#include <exception>
#include <filesystem>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "command_line.h"
#include "convert.h"
#include "file_io.h"

namespace {

constexpr int kAllConverted = 0;
constexpr int kSomeFailed = 1;
constexpr int kWrongCommandLine = 2;

// What `work` says went wrong, also when it throws: memory running out, a name the
// system cannot convert. The files it opened clean up as the exception leaves them, so
// that nothing is left behind.
template <typename Work>
std::string Guarded(Work work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    return "not enough memory";
  } catch (const std::exception& failure) {
    return failure.what();
  }
}

int Printed(const char* text) {
  if (m32tga::PrintOutput(text)) return kAllConverted;
  m32tga::PrintError("Pellicar.exe: cannot write to standard output\n");
  return kSomeFailed;
}

int Run(std::span<const std::filesystem::path> arguments) {
  using namespace m32tga;
  const CommandLine line = ParseCommandLine(arguments);
  switch (line.action) {
    case Action::kHelp: return Printed(kUsage);
    case Action::kVersion: return Printed(kVersionText);
    case Action::kUsageError:
      PrintError("Pellicar.exe: " + line.error + "\nTry 'Pellicar.exe --help'.\n");
      return kWrongCommandLine;
    case Action::kConvert: break;
  }
  std::vector<std::filesystem::path> outputs;
  const auto isImage = [](const std::filesystem::path& input) { return IsTgaName(input) || IsPngName(input); };
  for (const std::filesystem::path& input : line.inputs) {
    const bool png = line.toPng && !isImage(input);
    outputs.push_back(line.output.value_or(png ? PngOutputFor(input) : DefaultOutputFor(input)));
  }
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
    const std::string error = Guarded([&] {
      return isImage(input) ? ConvertTgaFile(input, outputs[i], line.like ? &like.header : nullptr, line.mips)
                            : ConvertFile(input, outputs[i], line.depth);
    });
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
  int status = kSomeFailed;
  const std::string error = Guarded([&] {
    const std::vector<std::filesystem::path> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    status = Run(arguments);
    return std::string();
  });
  if (!error.empty()) m32tga::PrintError("Pellicar.exe: " + error + "\n");
  return error.empty() ? status : kSomeFailed;
}
