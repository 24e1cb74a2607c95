// The one entry of the converter's test programs.
#ifdef PELLICAR_TEST_WITH_QT
#include <QCoreApplication>
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv) {
#ifdef PELLICAR_TEST_WITH_QT
  QCoreApplication app(argc, argv);  // Qt finds its image plugins through the application
#endif
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
