// Built into a folder of its own with no converter in it: with no Pellicar.exe to be
// found anywhere, each run returns at once, says why on stderr, and the batch goes on.
#include <QtGlobal>

#include "support/window_fixture.h"

using testing_support::ScopedEnv;
using testing_support::WriteFile;

namespace {

QStringList gWarnings;

void Collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtWarningMsg) gWarnings << message;
}

TEST_F(WindowTest, WithNoConverterAnywhereEveryRunFailsAloneAndTheBatchGoesOn) {
  ScopedEnv path("PATH", folder_.path());
  ASSERT_FALSE(std::filesystem::exists(std::filesystem::read_symlink("/proc/self/exe").parent_path() / "Pellicar.exe"));
  for (const char* name : {"a.m32", "b.m32", "c.m32"}) WriteFile(work() + "/" + name);
  auto& window = openWindow();
  window.File1->selectAll();

  gWarnings.clear();
  const auto previous = qInstallMessageHandler(Collect);
  window.Command1_Click();
  qInstallMessageHandler(previous);

  ASSERT_EQ(gWarnings.size(), 3);
  for (const auto& warning : gWarnings) EXPECT_TRUE(warning.contains("Pellicar.exe")) << warning.toStdString();
  EXPECT_TRUE(gWarnings[2].contains("c.m32"));
  EXPECT_TRUE(runs().empty());
}

}  // namespace
