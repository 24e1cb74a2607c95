// Built into a folder of its own with no converter in it: with no Pellicar.exe beside it
// or on PATH, each run fails at once, the batch goes on, and the message says what to
// install. One planted in the folder it works in, which PATH also names as shells read
// an empty entry or ".", never runs.
#include "support/window_fixture.h"
#include "system/directory.h"
#include "system/program_search.h"

using testing_support::ScopedEnv;
using testing_support::WriteFile;

namespace {

TEST_F(WindowTest, WithNoConverterBesideItOrOnPathEveryFileIsReportedAsNotStarted) {
  const std::string separator = sys::kSeparator == '\\' ? ";" : ":";
  ScopedEnv path("PATH", separator + "." + separator + folder_.path());
  ASSERT_FALSE(std::filesystem::exists(testing_support::OwnFolder() / "Pellicar.exe"));
  std::filesystem::copy_file(testing_support::OwnFolder().parent_path() / "Pellicar.exe",
                             testing_support::FsPath(work("Pellicar.exe")));
  for (const char* name : {"a.m32", "b.m32", "c.m32"}) WriteFile(work(name));
  auto& window = openWindow();
  selectAll();
  testing_support::MessageBoxWatcher boxes;
  window.Command1_Click();

  ASSERT_EQ(boxes.shown().size(), 1u);
  // What to install, and where it was looked for.
  const std::string notFound = ": Pellicar.exe was not found " + std::string(sys::kProgramSearchPlaces);
  EXPECT_EQ(runtime::ToUtf8(boxes.shown()[0].text),
            "3 of 3 files were not converted:\n\na.m32" + notFound + "\nb.m32" + notFound + "\nc.m32" + notFound);
  EXPECT_TRUE(runs().empty());
}

}  // namespace
