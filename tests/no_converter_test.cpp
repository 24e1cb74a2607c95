// Built into a folder of its own with no converter in it: with no Pellicar.exe to be
// found anywhere, each run fails at once, the batch goes on, and the message says why.
#include <system_error>

#include "support/window_fixture.h"

using testing_support::ScopedEnv;
using testing_support::WriteFile;

namespace {

TEST_F(WindowTest, WithNoConverterAnywhereEveryFileIsReportedAsNotStarted) {
  ScopedEnv path("PATH", folder_.path());
  ASSERT_FALSE(std::filesystem::exists(testing_support::OwnFolder() / "Pellicar.exe"));
  for (const char* name : {"a.m32", "b.m32", "c.m32"}) WriteFile(work(name));
  auto& window = openWindow();
  selectAll();
  testing_support::MessageBoxWatcher boxes;
  window.Command1_Click();

  ASSERT_EQ(boxes.shown().size(), 1u);
  // The reason is the system's own text for a program that is not there.
  const std::string text = runtime::ToUtf8(boxes.shown()[0].text);
  const std::string lead = "3 of 3 files were not converted:\n\na.m32: the converter could not be started: ";
  ASSERT_TRUE(text.starts_with(lead)) << text;
  const std::string reason = text.substr(lead.size(), text.find('\n', lead.size()) - lead.size());
  EXPECT_FALSE(reason.empty());
#ifndef _WIN32
  EXPECT_EQ(reason, std::make_error_code(std::errc::no_such_file_or_directory).message());
#endif
  const std::string notStarted = ": the converter could not be started: " + reason;
  EXPECT_EQ(text,
            "3 of 3 files were not converted:\n\na.m32" + notStarted + "\nb.m32" + notStarted + "\nc.m32" + notStarted);
  EXPECT_TRUE(runs().empty());
}

}  // namespace
