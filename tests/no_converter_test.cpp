// Built into a folder of its own with no converter in it: with no Pellicar.exe to be
// found anywhere, each run fails at once, the batch goes on, and the message says why.
#include "support/message_boxes.h"
#include "support/window_fixture.h"

using testing_support::ScopedEnv;
using testing_support::WriteFile;

namespace {

TEST_F(WindowTest, WithNoConverterAnywhereEveryFileIsReportedAsNotStarted) {
  ScopedEnv path("PATH", folder_.path());
  ASSERT_FALSE(std::filesystem::exists(std::filesystem::read_symlink("/proc/self/exe").parent_path() / "Pellicar.exe"));
  for (const char* name : {"a.m32", "b.m32", "c.m32"}) WriteFile(work() + "/" + name);
  auto& window = openWindow();
  window.File1->selectAll();
  MessageBoxWatcher boxes;
  window.Command1_Click();

  ASSERT_EQ(boxes.shown().size(), 1u);
  const QString notStarted =
      "the converter could not be started: " +
      QString::fromStdString(std::make_error_code(std::errc::no_such_file_or_directory).message());
  EXPECT_EQ(boxes.shown()[0].text,
            "3 of 3 files were not converted:\n\n"
            "a.m32: " +
                notStarted +
                "\n"
                "b.m32: " +
                notStarted +
                "\n"
                "c.m32: " +
                notStarted);
  EXPECT_TRUE(runs().empty());
}

}  // namespace
