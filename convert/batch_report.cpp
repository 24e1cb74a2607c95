#include "batch_report.h"

#include <QStringList>

#include "runtime/strings.h"

namespace {

constexpr int kLongestReason = 200;  // characters; a converter may say a lot in one line

// A text fit for one line of the message: characters that would break or hide the line
// are shown as U+FFFD, and an overlong text is cut.
QString OneLine(const QString& text, int longest) {
  QString line = text.left(longest);
  for (QChar& c : line) {
    if (c.category() == QChar::Other_Control) c = QChar::ReplacementCharacter;
  }
  return text.size() > longest ? line + QChar(0x2026) : line;
}

QString FirstLineOf(const std::string& errorOutput) {
  const QString text = runtime::ForDisplay(runtime::FromNative(errorOutput));
  for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    if (const QString trimmed = line.trimmed(); !trimmed.isEmpty()) return trimmed;
  }
  return {};
}

QString HowItEnded(const sys::ProcessResult& run) {
  using Ending = sys::ProcessResult::Ending;
  switch (run.ending) {
    case Ending::NotStarted:
      return QStringLiteral("the converter could not be started: %1")
          .arg(QString::fromLocal8Bit(run.startError.message()));
    case Ending::Exited: return QStringLiteral("the converter ended with exit code %1").arg(run.exitCode);
    case Ending::Crashed: return QStringLiteral("the converter crashed (%1)").arg(QString::fromStdString(run.crash));
    case Ending::Unknown: break;
  }
  return QStringLiteral("how the converter ended is not known");
}

}  // namespace

void BatchReport::addFailure(const QString& fileName, const QString& reason) {
  if (++failed_ > kListed) return;
  listed_.push_back(QStringLiteral("%1: %2").arg(OneLine(runtime::ForDisplay(fileName), kLongestReason),
                                                 OneLine(reason, kLongestReason)));
}

QString BatchReport::message() const {
  QStringList lines;
  lines << QStringLiteral("%1 of %2 %3 not converted:")
               .arg(failed_)
               .arg(selected_)
               .arg(QLatin1String(selected_ == 1 ? "file was"
                                  : failed_ == 1 ? "files was"
                                                 : "files were"));
  lines << QString();
  for (const QString& line : listed_) lines << line;
  if (failed_ > kListed) lines << QStringLiteral("and %1 more").arg(failed_ - kListed);
  return lines.join(QLatin1Char('\n'));
}

QString FailureReason(const sys::ProcessResult& run, const QString& fullPath) {
  if (run.succeeded()) return {};
  QString said = FirstLineOf(run.errorOutput);
  if (said.isEmpty()) return HowItEnded(run);
  // The converter names the file first; the message names it already.
  const QString itsName = runtime::ForDisplay(fullPath) + QStringLiteral(": ");
  return said.startsWith(itsName) && said.size() > itsName.size() ? said.mid(itsName.size()) : said;
}
