// Run-time errors: a failed system call becomes the error the runtime numbers it by,
// whatever the platform's own code for it.
#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

#include "runtime/error.h"
#include "runtime/strings.h"
#include "system/directory.h"

namespace {

TEST(RuntimeErrors, SystemFailuresAreNumberedByWhatWentWrong) {
  try {
    sys::ListFiles("/no/such/folder/anywhere", "*.m32");
    FAIL() << "no error";
  } catch (const std::system_error& failure) {
    const runtime::Error error = runtime::ErrorFrom(failure);
    EXPECT_EQ(error.number(), 76);
    EXPECT_EQ(error.description(), u"Path not found: " + runtime::FromUtf8(failure.what()));
  }
  const std::pair<int, int> numbers[] = {{ENOTDIR, 76}, {EACCES, 70}, {EIO, 57},   {ENOMEDIUM, 68},
                                         {ESTALE, 68},  {ENODEV, 68}, {ENXIO, 68}, {ELOOP, 75}};
  for (const auto& [code, number] : numbers) {
    const std::system_error failure(std::error_code(code, std::system_category()), "/media/stick/textures");
    EXPECT_EQ(runtime::ErrorFrom(failure).number(), number) << code;
  }
  // A name that is not UTF-8 is shown with a replacement character.
  const auto named = runtime::ErrorFrom(std::system_error(std::error_code(ENOENT, std::system_category()), "caf\xe9"));
  EXPECT_TRUE(named.description().starts_with(u"Path not found: caf\uFFFD: ")) << named.what();
}

}  // namespace
