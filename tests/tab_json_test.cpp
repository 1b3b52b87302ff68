#include "pilvo_tab/tab_json.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>

#include "pilvo_tab/tab_conversion.h"

namespace pilvo {
namespace {

using nlohmann::json;

json DemoArm(const std::string& name) {
  std::ifstream in(std::string(PILVO_DEMO_JSON_DIR) + "/" + name + ".json");
  return json::parse(in);
}

const char* const kDemoArms[] = {"usb6_quaternion", "serial6_dh_marks", "five_joint",
                                 "rotating_table"};

TEST(TabJson, DemoArmsSurviveJsonAndTabRoundTrips) {
  for (const char* name : kDemoArms) {
    const TabContents contents = TabFromJson(DemoArm(name));
    const TabContents again = TabFromJson(TabToJson(contents));
    EXPECT_EQ(again.main, contents.main) << name;
    EXPECT_EQ(again.probes, contents.probes) << name;
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(SerializeTabFile(contents, bytes), TabWriteError::None) << name;
    TabContents back;
    ASSERT_EQ(ParseTabFile(bytes, back), TabError::None) << name;
    EXPECT_EQ(back.main, contents.main) << name;
    EXPECT_EQ(back.probes, contents.probes) << name;
    EXPECT_TRUE(StoresWithoutLoss(contents)) << name;
  }
}

TEST(TabJson, MissingMembersTakeTheReaderDefaults) {
  const TabContents contents =
      TabFromJson(json::parse(R"({"version": "ta3", "main": {"name": "x", "jointCount": 1}})"));
  EXPECT_EQ(contents.main.probeRadius, 2.0f);
  EXPECT_EQ(contents.main.referenceTemperaturesPacked, 210210210);
  EXPECT_EQ(contents.main.probeCount, 0);
  EXPECT_EQ(contents.version, 30);
}

TEST(TabJson, ErrorsNameTheOffendingMember) {
  const struct {
    const char* text;
    const char* where;
  } cases[] = {
      {R"({"version": "t46", "main": {}})", "version"},
      {R"({"version": "t44"})", "main"},
      {R"({"version": "t44", "main": {"nmae": "x"}})", "main.nmae"},
      {R"({"version": "t44", "main": {"jointCount": 6.5}})", "main.jointCount"},
      {R"({"version": "t44", "main": {"jointCount": 9}})", "main.jointCount"},
      {R"({"version": "t44", "main": {"jointCount": 4294967297}})", "main.jointCount"},
      {R"({"version": "t44", "main": {"encoderLines": [1, 2]}})", "main.encoderLines"},
      {R"({"version": "t44", "main": {"jointCount": 1, "parameters": [[1,2,3,4]]}})",
       "main.parameters"},
      {R"({"version": "t44", "main": {"jointCount": 0, "parameters": [[1,2,3]]}})",
       "main.parameters[0]"},
      {R"({"version": "t44", "main": {"options": {"turbo": true}}})", "main.options.turbo"},
      {R"({"version": "t44", "main": {"probeCount": 2}})", "main.probeCount"},
      {R"({"version": "t44", "main": {}, "probes": [{"name": 5}]})", "probes[0].name"},
      {R"({"version": "t44", "main": {}, "probes": [{},{},{},{},{},{},{},{},{},{},{}]})", "probes"},
      // Numbers the record cannot hold as given were cut silently, or converted with undefined
      // behaviour, or became an infinity that the JSON written could not give back.
      {R"({"version": "t44", "main": {"encoderOffsets": [0, 0, 0, 1.1e77, 0, 0, 0, 0]}})",
       "main.encoderOffsets[3]"},
      {R"({"version": "t44", "main": {"encoderLines": [0, 0, 0, 0, 0, 0, 0, 1.5]}})",
       "main.encoderLines[7]"},
      {R"({"version": "t44", "main": {"modelType": 18446744073709551615}})", "main.modelType"},
      {R"({"version": "t44", "main": {"spareWords": [0, 9223372036854775808]}})",
       "main.spareWords[1]"},
      {R"({"version": "t44", "main": {"probeRadius": 1e39}})", "main.probeRadius"},
      {R"({"version": "t44", "main": {"jointLimits": [[0, 0, 5], [0, 0], [0, 0], [0, 0], [0, 0],
                                                      [0, 0], [0, 0], [0, 0]]}})",
       "main.jointLimits[0]"},
  };
  for (const auto& c : cases) {
    try {
      TabFromJson(json::parse(c.text));
      ADD_FAILURE() << "accepted " << c.text;
    } catch (const TabJsonError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(std::string(c.where) + ":", 0), 0u) << error.what();
    }
  }
}

TEST(TabJson, LargestFloatAsWrittenLoadsBack) {
  TabContents contents = TabFromJson(json::parse(R"({"version": "t44", "main": {}})"));
  contents.main.probeRadius = std::numeric_limits<float>::max();
  const TabContents again = TabFromJson(json::parse(TabToJson(contents).dump()));
  EXPECT_EQ(again.main.probeRadius, std::numeric_limits<float>::max());
}

TEST(TabConversion, OlderVersionsThatDropFieldsAreDetected) {
  const TabContents usb = TabFromJson(DemoArm("usb6_quaternion"));
  EXPECT_FALSE(StoresWithoutLoss(WithVersion(usb, 43)));  // battery data
  EXPECT_FALSE(StoresWithoutLoss(WithVersion(usb, 30)));  // probes

  TabContents plain = TabFromJson(DemoArm("serial6_dh_marks"));
  plain.main.name = "SR60";  // the old layout keeps 9 characters
  plain.main.serialSpeedCode = 0;
  plain.main.armVariant = 0;
  plain.main.options = {};
  plain.main.jointWrapAround = {};
  plain.main.jointExtendedCount = {};
  plain.main.secondJointCorrectionCount = 0;
  plain.main.probeRadius = 2.0f;
  plain.main.board1Axes = 6;
  plain.main.board2Axes = 0;
  EXPECT_TRUE(StoresWithoutLoss(WithVersion(plain, 10)));
  plain.main.encoderOffsets[0] = 40000;  // needs more than the 16 bits of the old layout
  EXPECT_FALSE(StoresWithoutLoss(WithVersion(plain, 10)));
}

}  // namespace
}  // namespace pilvo
