#include "runtime/msgbox.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "backend.h"

namespace runtime {
namespace {

// The systems wrap a message box's text at blanks, to rows of 45 columns or more in the
// message font (Wine's are the narrowest), and the box grows with it: a run without a
// blank widens it, many rows heighten it. So a run is broken after kLongestWord columns,
// and each line gets an equal share of the rows the screen holds below the box's title
// and button, counted at kRowColumns a row, and is cut with an ellipsis past its share.
// The same rule serves both runtimes, so it is applied here, before the box.
constexpr std::size_t kLongestWord = 32;
constexpr std::size_t kRowColumns = 44;
constexpr std::size_t kRowsForTitleAndButton = 8;
constexpr char16_t kEllipsis = 0x2026;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

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

// One line of the text on at most `rows` rows, never broken inside a surrogate pair.
std::u16string Fitted(std::u16string_view line, std::size_t rows) {
  std::u16string fitted;
  std::size_t row = 1, rowColumns = 0, wordColumns = 0;
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
  return fitted;
}

std::u16string FittedToTheScreen(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(text.find(u'\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    if (end == text.size()) break;
    start = end + 1;
  }
  const std::size_t screenRows = static_cast<std::size_t>(std::max(backend::MessageRowsOnScreen(), 0));
  const std::size_t forText = screenRows > kRowsForTitleAndButton ? screenRows - kRowsForTitleAndButton : 0;
  const std::size_t rowsEach = std::max<std::size_t>(forText / lines.size(), 1);
  std::u16string fitted;
  for (std::size_t i = 0; i < lines.size(); ++i) fitted += (i > 0 ? u"\n" : u"") + Fitted(lines[i], rowsEach);
  return fitted;
}

}  // namespace

void MsgBox(const Message& message) {
  const Message fitted{message.title, FittedToTheScreen(message.text), message.icon};
  backend::ShowMessageBox(fitted);
}

}  // namespace runtime
