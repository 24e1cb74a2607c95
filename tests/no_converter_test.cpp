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
  const std::u16string notStarted =
      u"the converter could not be started: " +
      runtime::FromUtf8(std::make_error_code(std::errc::no_such_file_or_directory).message());
  EXPECT_EQ(runtime::ToUtf8(boxes.shown()[0].text),
            runtime::ToUtf8(u"3 of 3 files were not converted:\n\n"
                            u"a.m32: " +
                            notStarted + u"\nb.m32: " + notStarted + u"\nc.m32: " + notStarted));
  EXPECT_TRUE(runs().empty());
}

}  // namespace
