#include "batch_report.h"

#include <system_error>

#include "runtime/strings.h"

namespace {

constexpr std::size_t kLongestReason = 200;  // code units; a converter may say a lot in one line
constexpr char16_t kReplacement = 0xFFFD, kEllipsis = 0x2026;

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0; }
bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// A text fit for one line of the message: characters that would break or hide the line
// are shown as U+FFFD, and an overlong text is cut, never inside a surrogate pair.
std::u16string OneLine(const std::u16string& text, std::size_t longest) {
  std::size_t kept = std::min(text.size(), longest);
  if (kept < text.size() && kept > 0 && IsHighSurrogate(text[kept - 1])) --kept;
  std::u16string line = text.substr(0, kept);
  for (char16_t& c : line) {
    if (IsControl(c)) c = kReplacement;
  }
  return kept < text.size() ? line + kEllipsis : line;
}

std::u16string Trimmed(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return std::u16string(text);
}

std::u16string FirstLineOf(const std::string& errorOutput) {
  const std::u16string text = runtime::ForDisplay(runtime::FromUtf8(errorOutput));
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(u'\n', start), text.size());
    if (std::u16string line = Trimmed(std::u16string_view(text).substr(start, end - start)); !line.empty()) return line;
    start = end + 1;
  }
  return {};
}

std::u16string HowItEnded(const sys::ProcessResult& run) {
  using Ending = sys::ProcessResult::Ending;
  switch (run.ending) {
    case Ending::NotStarted:
      if (run.startError == std::errc::no_such_file_or_directory)  // so that a person knows what to install
        return std::u16string(kConverterProgram) + u" was not found " + runtime::FromUtf8(sys::kProgramSearchPlaces);
      return u"the converter could not be started: " + runtime::FromUtf8(run.startError.message());
    case Ending::Exited: return u"the converter ended with exit code " + runtime::NumberText(run.exitCode);
    case Ending::Crashed: return u"the converter crashed (" + runtime::FromUtf8(run.crash) + u")";
    case Ending::Unknown: break;
  }
  return u"how the converter ended is not known";
}

}  // namespace

void BatchReport::addFailure(const std::u16string& fileName, const std::u16string& reason) {
  if (++failed_ > kListed) return;
  listed_.push_back(OneLine(runtime::ForDisplay(fileName), kLongestReason) + u": " + OneLine(reason, kLongestReason));
}

std::u16string BatchReport::message() const {
  const char16_t* verb = selected_ == 1 ? u"file was" : failed_ == 1 ? u"files was" : u"files were";
  std::u16string text =
      runtime::NumberText(failed_) + u" of " + runtime::NumberText(selected_) + u" " + verb + u" not converted:\n";
  for (const std::u16string& line : listed_) text += u"\n" + line;
  if (failed_ > kListed) text += u"\nand " + runtime::NumberText(failed_ - kListed) + u" more";
  return text;
}

std::u16string FailureReason(const sys::ProcessResult& run, const std::u16string& fullPath) {
  if (run.succeeded()) return {};
  std::u16string said = FirstLineOf(run.errorOutput);
  if (said.empty()) return HowItEnded(run);
  // The converter names the file first; the message names it already.
  const std::u16string itsName = runtime::ForDisplay(fullPath) + u": ";
  return said.starts_with(itsName) && said.size() > itsName.size() ? said.substr(itsName.size()) : said;
}
