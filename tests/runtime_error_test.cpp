// Run-time errors: a failed system call becomes the error the runtime numbers it by,
// whatever the platform's own code for it.
#include <gtest/gtest.h>

#include <cerrno>

#include "runtime/error.h"
#include "runtime/strings.h"
#include "system/directory.h"

namespace {

int NumberOf(std::error_code code) {
  return runtime::ErrorFrom(std::system_error(code, "/media/stick/textures")).number();
}

TEST(RuntimeErrors, SystemFailuresAreNumberedByWhatWentWrong) {
  try {
    sys::ListFiles("/no/such/folder/anywhere", "*.m32");
    FAIL() << "no error";
  } catch (const std::system_error& failure) {
    const runtime::Error error = runtime::ErrorFrom(failure);
    EXPECT_EQ(error.number(), 76);
    EXPECT_EQ(error.description(), u"Path not found: " + runtime::FromUtf8(failure.what()));
  }
  EXPECT_EQ(NumberOf(std::error_code(ENOTDIR, std::system_category())), 76);
  EXPECT_EQ(NumberOf(std::error_code(EACCES, std::system_category())), 70);
  EXPECT_EQ(NumberOf(std::error_code(EIO, std::system_category())), 57);
  for (int notReady : {ENOMEDIUM, ESTALE, ENODEV, ENXIO})
    EXPECT_EQ(NumberOf(std::error_code(notReady, std::system_category())), 68) << notReady;
  EXPECT_EQ(NumberOf(std::error_code(ELOOP, std::system_category())), 75);
}

TEST(RuntimeErrors, ANameThatIsNotUtf8IsShownWithReplacementCharacters) {
  const runtime::Error error =
      runtime::ErrorFrom(std::system_error(std::error_code(ENOENT, std::system_category()), "caf\xe9"));
  EXPECT_EQ(error.description().rfind(u"Path not found: caf\uFFFD: ", 0), 0u) << error.what();
}

}  // namespace
