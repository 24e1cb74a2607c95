#pragma once
// What became of the files of one batch, and the message that tells a person which of
// them were not converted and why.
#include <string>
#include <string_view>
#include <vector>

#include "system/process.h"

inline constexpr std::u16string_view kConverterProgram = u"Pellicar.exe";

class BatchReport {
 public:
  static constexpr int kListed = 10;  // failures named in the message; the rest are counted

  explicit BatchReport(int selected) : selected_(selected) {}

  void addFailure(const std::u16string& fileName, const std::u16string& reason);
  bool anyFailed() const { return failed_ > 0; }
  // "2 of 5 files were not converted:", then one line per failed file with its reason,
  // the list cut after kListed with "and N more".
  std::u16string message() const;

 private:
  int selected_;
  int failed_ = 0;
  std::vector<std::u16string> listed_;
};

// Why the converter's run on `fullPath` left it unconverted: the converter's own first
// line on stderr, else how it ended; empty when it converted the file.
std::u16string FailureReason(const sys::ProcessResult& run, const std::u16string& fullPath);
