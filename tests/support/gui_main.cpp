// Runs GoogleTest inside the windowing runtime, off the screen unless a display is chosen.
#include <gtest/gtest.h>

#include <cstdlib>

#include "runtime/form.h"

int main(int argc, char* argv[]) {
#ifndef _WIN32
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
  runtime::Application app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
