// The Convert button: every selected file, in list order, goes through the converter,
// one run after another. The title counts the files; afterwards one message names the
// files that were not converted, and why.
#include <system_error>
#include <vector>

#include "runtime/busy.h"
#include "runtime/msgbox.h"
#include "runtime/strings.h"
#include "system/native_string.h"
#include "system/process.h"
#include "system/program_search.h"
#include "system/shortpath.h"
#include "ui/frmPellicar.h"

namespace {

const std::u16string kNoSuchFileAnyMore = u"no such file any more";
constexpr std::u16string_view kConverterProgram = u"" PELLICAR_CONVERTER;
constexpr std::size_t kLongestReason = 200;  // code units; a converter may say a lot in one line

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0; }

// A text shown on one line of the message, an overlong one cut, never inside a surrogate pair.
std::u16string OneLine(const std::u16string& text) {
  std::size_t kept = std::min(text.size(), kLongestReason);
  if (kept < text.size() && kept > 0 && sys::IsHighSurrogate(text[kept - 1])) --kept;
  const std::u16string line = runtime::ForDisplay(text.substr(0, kept));
  return kept < text.size() ? line + sys::kEllipsis : line;
}

std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::u16string FirstLineOf(const std::string& errorOutput) {
  const std::u16string text = runtime::FromUtf8(errorOutput);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(u'\n', start), text.size());
    if (const auto line = Trimmed(std::u16string_view(text).substr(start, end - start)); !line.empty())
      return runtime::ForDisplay(line);
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

// What became of the files of one batch, and the message that tells a person which of
// them were not converted and why.
class BatchReport {
 public:
  static constexpr int kListed = 10;  // failures named in the message; the rest are counted

  explicit BatchReport(int selected) : selected_(selected) {}

  void addFailure(const std::u16string& fileName, const std::u16string& reason);
  bool anyFailed() const { return failed_ > 0; }
  // "2 of 5 files were not converted:", then one line per failed file with its reason,
  // the list cut after kListed with "and N more".
  runtime::Message message() const;

 private:
  int selected_;
  int failed_ = 0;
  std::vector<runtime::NamedLine> listed_;
};

// The name whole: the message box shortens it in its middle where it must.
void BatchReport::addFailure(const std::u16string& fileName, const std::u16string& reason) {
  if (++failed_ > kListed) return;
  listed_.push_back({runtime::ForDisplay(fileName), OneLine(reason)});
}

runtime::Message BatchReport::message() const {
  const char16_t* verb = selected_ == 1 ? u"file was" : failed_ == 1 ? u"files was" : u"files were";
  runtime::Message message{
      frmPellicar::kCaption,
      runtime::NumberText(failed_) + u" of " + runtime::NumberText(selected_) + u" " + verb + u" not converted:\n",
      runtime::MsgBoxIcon::kWarning, listed_};
  if (failed_ > kListed) message.lines.push_back({u"", u"and " + runtime::NumberText(failed_ - kListed) + u" more"});
  return message;
}

// Why the converter's run on `fullPath` left it unconverted: the converter's own first
// line on stderr, else how it ended; empty when it converted the file.
std::u16string FailureReason(const sys::ProcessResult& run, const std::u16string& fullPath) {
  if (run.succeeded()) return {};
  std::u16string said = FirstLineOf(run.errorOutput);
  if (said.empty()) return HowItEnded(run);
  // The converter names the file first; the message names it already.
  const std::u16string itsName = runtime::ForDisplay(fullPath) + u": ";
  return said.starts_with(itsName) && said.size() > itsName.size() ? said.substr(itsName.size()) : said;
}

// The window handles its events at least this often while a converter runs, and after
// every run.
constexpr int kDoEventsIntervalMs = 10;

}  // namespace

void frmPellicar::Command1_Click() {
  const int lastIndex = File1.listCount() - 1;  // the entries there are now, and no others
  const int selected = SelectedCount(lastIndex);
  BatchReport report(selected);
  {
    runtime::BusyScope busy(busy_);
    for (int i = 0, number = 0; i <= lastIndex && !busy_.closeRequested(); ++i) {
      if (!File1.selected(i)) continue;
      busy_.setCaption(kCaption + u" - " + runtime::NumberText(++number) + u" of " + runtime::NumberText(selected));
      std::u16string fullPath = runtime::JoinPath(File1.path(), File1.list(i));
      std::u16string shortPath;
      try {
        shortPath = GetShortPath(fullPath);
      } catch (const std::system_error& failure) {  // the file is there but cannot be reached
        report.addFailure(File1.list(i), runtime::FromUtf8(failure.code().message()));
        continue;
      }
      if (shortPath.empty()) {
        report.addFailure(File1.list(i), kNoSuchFileAnyMore);
        continue;
      }
      std::u16string cmdline = std::u16string(kConverterProgram) + u" " + shortPath;
      if (std::u16string reason = FailureReason(ExecCmd(cmdline), fullPath); !reason.empty())
        report.addFailure(File1.list(i), reason);
    }
  }  // the window's caption is back, and a close asked for meanwhile is carried out
  if (report.anyFailed() && !busy_.closeRequested()) runtime::MsgBox(report.message());
}

int frmPellicar::SelectedCount(int lastIndex) const {
  int count = 0;
  for (int i = 0; i <= lastIndex; ++i) count += File1.selected(i) ? 1 : 0;
  return count;
}

std::u16string frmPellicar::GetShortPath(std::u16string& strFileName) {
  return runtime::FromNative(sys::ShortPath(runtime::ToNative(strFileName)));
}

sys::ProcessResult frmPellicar::ExecCmd(std::u16string& cmdline) {
  sys::Process process = sys::StartProcess(runtime::ToNative(cmdline));
  while (!runtime::WaitForProcessDoingEvents(process, kDoEventsIntervalMs)) {
    if (busy_.sinceCloseRequest() >= kStopAfterClose) sys::StopProcess(process);
  }
  return sys::CloseProcess(process);
}
