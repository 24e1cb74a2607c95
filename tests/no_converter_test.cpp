// Built into a folder of its own with no converter in it: with no Pellicar.exe to be
// found anywhere, each run returns at once, says why on stderr, and the batch goes on.
#include <sstream>

#include "support/window_fixture.h"

using testing_support::ScopedEnv;
using testing_support::WriteFile;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST_F(WindowTest, WithNoConverterAnywhereEveryRunFailsAloneAndTheBatchGoesOn) {
  ScopedEnv path("PATH", folder_.path());
  ASSERT_FALSE(std::filesystem::exists(testing_support::OwnFolder() / "Pellicar.exe"));
  for (const char* name : {"a.m32", "b.m32", "c.m32"}) WriteFile(work(name));
  auto& window = openWindow();
  selectAll();

  testing::internal::CaptureStderr();
  window.Command1_Click();
  const auto warnings = Lines(testing::internal::GetCapturedStderr());

  ASSERT_EQ(warnings.size(), 3u);
  for (const auto& warning : warnings) EXPECT_NE(warning.find("Pellicar.exe"), std::string::npos) << warning;
  EXPECT_NE(warnings[2].find("c.m32"), std::string::npos);
  EXPECT_TRUE(runs().empty());
}

}  // namespace
