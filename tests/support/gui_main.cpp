// Runs GoogleTest inside the windowing runtime.
#include <gtest/gtest.h>

#include "runtime/form.h"
#include "support/window_support.h"

int main(int argc, char* argv[]) {
  testing_support::PrepareHeadless();
  runtime::Application app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
