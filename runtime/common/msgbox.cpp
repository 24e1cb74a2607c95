#include "runtime/msgbox.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "backend.h"
#include "system/native_string.h"

namespace runtime {
namespace {

// The systems wrap a message box's text at blanks, to rows of 45 columns or more in the
// message font (Wine's are the narrowest), and the box grows with it: a run without a
// blank widens it, many rows heighten it. So a run is broken after kLongestWord columns,
// and each line gets an equal share of the rows the screen holds below the box's title
// and button, counted at kRowColumns a row, and is cut with an ellipsis past its share,
// a name in it shortened first.
// The same rule serves both runtimes, so it is applied here, before the box.
constexpr std::size_t kLongestWord = 32;
constexpr std::size_t kRowColumns = 44;
constexpr std::size_t kRowsForTitleAndButton = 8;
constexpr std::size_t kShortestName = 2;  // code units of a name shortened in its middle
using sys::IsHighSurrogate, sys::IsLowSurrogate, sys::kEllipsis;

// East Asian wide characters take two columns; a character beyond the BMP is two code
// units, and so two columns, already.
std::size_t Columns(std::u16string_view text) {
  std::size_t columns = 0;
  for (char16_t c : text) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6);
    columns += wide ? 2 : 1;
  }
  return columns;
}

// One line of the text on at most `rows` rows, never broken inside a surrogate pair;
// `whole` says whether all of it shows.
std::u16string Fitted(std::u16string_view line, std::size_t rows, bool& whole) {
  std::u16string fitted;
  std::size_t row = 1, rowColumns = 0, wordColumns = 0;
  whole = false;
  const auto cut = [&] {
    if (rowColumns >= kRowColumns) fitted.pop_back();  // room for the ellipsis
    if (!fitted.empty() && IsHighSurrogate(fitted.back())) fitted.pop_back();
    return fitted + kEllipsis;
  };
  for (std::size_t i = 0; i < line.size();) {
    const std::size_t units = IsHighSurrogate(line[i]) && i + 1 < line.size() && IsLowSurrogate(line[i + 1]) ? 2 : 1;
    const std::size_t columns = Columns(line.substr(i, units));
    const bool blank = line[i] == u' ';
    if (!blank && wordColumns + columns > kLongestWord) {  // a row of its own for the rest of the run
      if (++row > rows) return cut();
      fitted += u'\n';
      rowColumns = wordColumns = 0;
    } else if (!blank && rowColumns + columns > kRowColumns) {  // the system takes the run to the next row
      if (++row > rows) return cut();
      rowColumns = wordColumns;
    }
    fitted.append(line.substr(i, units));
    rowColumns += columns;
    wordColumns = blank ? 0 : wordColumns + columns;
    i += units;
  }
  whole = true;
  return fitted;
}

// `name` with all but `kept` code units of its middle given up for an ellipsis, never
// inside a surrogate pair.
std::u16string Shortened(std::u16string_view name, std::size_t kept) {
  if (kept >= name.size()) return std::u16string(name);
  std::size_t head = (kept + 1) / 2, tail = kept / 2;
  if (head > 0 && IsHighSurrogate(name[head - 1])) --head;
  if (tail > 0 && IsLowSurrogate(name[name.size() - tail])) --tail;
  return std::u16string(name.substr(0, head)) + kEllipsis + std::u16string(name.substr(name.size() - tail));
}

// A line on at most `rows` rows. A name keeps as much of itself as lets the text show
// whole, down to kShortestName code units; where even that is not enough, the name keeps
// a word's length and the text is cut.
std::u16string FittedLine(const NamedLine& line, std::size_t rows) {
  bool whole = false;
  if (line.name.empty()) return Fitted(line.text, rows, whole);
  const std::u16string said = u": " + line.text;
  for (std::size_t kept = line.name.size(); kept >= kShortestName; --kept) {
    std::u16string fitted = Fitted(Shortened(line.name, kept) + said, rows, whole);
    if (whole) return fitted;
  }
  return Fitted(Shortened(line.name, kLongestWord - 1) + said, rows, whole);
}

std::u16string FittedToTheScreen(const Message& message) {
  std::vector<NamedLine> lines;
  const std::u16string_view text = message.text;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(text.find(u'\n', start), text.size());
    lines.push_back({u"", std::u16string(text.substr(start, end - start))});
    if (end == text.size()) break;
    start = end + 1;
  }
  lines.insert(lines.end(), message.lines.begin(), message.lines.end());
  const std::size_t screenRows = static_cast<std::size_t>(std::max(backend::MessageRowsOnScreen(), 0));
  const std::size_t forText = screenRows > kRowsForTitleAndButton ? screenRows - kRowsForTitleAndButton : 0;
  const std::size_t rowsEach = std::max<std::size_t>(forText / lines.size(), 1);
  std::u16string fitted;
  for (std::size_t i = 0; i < lines.size(); ++i) fitted += (i > 0 ? u"\n" : u"") + FittedLine(lines[i], rowsEach);
  return fitted;
}

}  // namespace

void MsgBox(const Message& message) {
  const Message fitted{message.title, FittedToTheScreen(message), message.icon};
  backend::ShowMessageBox(fitted);
}

}  // namespace runtime
