// The demo arms as the tests load them: the TAB files the build makes from resources/demo,
// in the folder named by PILVO_TEST_DATA.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "data/tab_file.h"
#include "platform/atomic_file.h"

namespace pilvo::testing {

inline TabContents DemoTab(const std::string& name) {
  const char* folder = std::getenv("PILVO_TEST_DATA");
  TabContents contents;
  const auto bytes = ReadWholeFile(std::string(folder ? folder : ".") + "/" + name + ".tab");
  EXPECT_TRUE(bytes && ParseTabFile(*bytes, contents) == TabError::None) << name;
  return contents;
}

inline ArmRecord DemoArm(const std::string& name) {
  return DemoTab(name).main;
}

}  // namespace pilvo::testing
