// The tests' main: the process takes the locale its environment names, as a Qt host does when it
// starts, so that the suite run with LC_ALL set to a decimal-comma locale checks every number
// under it.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
  if (std::setlocale(LC_ALL, "") == nullptr) {
    std::fprintf(stderr, "the locale the environment names is not installed: the tests run in C\n");
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
