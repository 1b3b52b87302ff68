// The TAB file: every version assembled byte by byte and read, the limits and messages of the
// reader, the writer, and the JSON form of the TAB tool.
#include "data/tab_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <limits>

#include "data/byte_io.h"
#include "data/product_context.h"
#include "dialogs/scripted_operator.h"
#include "pilvo_tab/tab_conversion.h"
#include "pilvo_tab/tab_json.h"
#include "platform/atomic_file.h"
#include "session/tab_reading.h"
#include "tab_golden.h"

namespace pilvo {
namespace {

// The programs reading TAB files, without settings.
const ProductContext kLibrary(Program::Library, {}, {});
const ProductContext kWizard(Program::Wizard, {}, {});

using testing::GoldenBytes;
using Bytes = std::vector<std::uint8_t>;
using nlohmann::json;

TabContents Parse(const Bytes& bytes) {
  TabContents contents;
  EXPECT_EQ(ParseTabFile(bytes, contents), TabError::None);
  return contents;
}

Bytes Serialize(const TabContents& contents) {
  Bytes bytes;
  EXPECT_EQ(SerializeTabFile(contents, bytes), TabWriteError::None);
  return bytes;
}

std::vector<Bytes> AllGoldenFiles() {
  return {testing::GoldenTab(),     testing::GoldenTa2(),     testing::GoldenTa3(false),
          testing::GoldenTa3(true), testing::GoldenT4x(0, 0), testing::GoldenT4x(1, 2),
          testing::GoldenT4x(2, 1), testing::GoldenT4x(3, 0), testing::GoldenT4x(4, 3),
          testing::GoldenT4x(4, 10)};
}

// Writing what was read gives the golden bytes back (TabWrite below); the fields are checked
// here where the reader and the writer share a rule, and for the defaults of what a version lacks.
TEST(TabGolden, OldLayoutsReadEveryField) {
  const TabContents tab = Parse(testing::GoldenTab());
  const ArmRecord& old = tab.main;
  EXPECT_EQ(std::tie(tab.version, old.name, old.jointCount), std::tuple(10, "OLDARM", 6));
  // 16-bit offsets are sign-extended.
  EXPECT_EQ(std::tie(old.parameters[27], old.parameters[28], old.encoderOffsets[2],
                     old.encoderLines[4], old.jointReversed, old.options),
            std::tuple(270.25f, 0.0f, -32768, 2500, std::array<bool, 8>{0, 1, 0, 0, 1, 0, 0, 0},
                       ArmOptions{}));
  EXPECT_EQ(std::tie(old.temperatureSensors, old.referenceTemperaturesPacked, old.board1Axes,
                     old.probeRadius, old.expansionCoefficients[1]),
            std::tuple(1, 210210210, 6, 2.0f, 2.4e-05));

  const ArmRecord ta2 = Parse(testing::GoldenTa2()).main;
  EXPECT_EQ(std::tuple(ta2.jointExtendedCount, ta2.jointWrapAround, OptionsToWord(ta2.options),
                       ta2.secondJointCorrectionCount),
            std::tuple(std::array<bool, 8>{1, 0, 1, 0, 1, 0, 0, 0},
                       std::array<bool, 8>{0, 1, 1, 0, 0, 1, 0, 0}, 0b1011u, 25));

  // A full name field has no terminating zero; a stylus extension lengthens the tool.
  Bytes extended = testing::GoldenTab();
  std::copy_n("TENCHARS!!", 10, extended.begin() + 4);
  const Bytes stylus = GoldenBytes().F32(12.5f).bytes();
  std::copy(stylus.begin(), stylus.end(), extended.end() - 4);
  const ArmRecord longer = Parse(extended).main;
  EXPECT_EQ(std::tie(longer.name, longer.parameters[24], longer.parameters[23]),
            std::tuple("TENCHARS!!", 240.25f + 12.5f, 230.25f));  // 4 x joint count
}

TEST(TabGolden, ModernVersionsReadTheirFieldsAndDefaultWhatTheyLack) {
  const ArmRecord ta3 = Parse(testing::GoldenTa3(false)).main;
  EXPECT_EQ(
      std::tuple(ta3.serialSpeedCode, ta3.armVariant, ta3.encoderOffsets[5], ta3.encoderLines[6],
                 ta3.jointWrapAround[4] && ta3.jointReversed[4], ta3.jointExtendedCount[5],
                 OptionsToWord(ta3.options), ta3.secondJointCorrectionCount, ta3.temperatureSensors,
                 ta3.referenceTemperaturesPacked),
      std::tuple(2, 3, -66, 0, true, false, 0b101u, -3, 1, 210210210));
  const ArmRecord warm = Parse(testing::GoldenTa3(true)).main;
  EXPECT_EQ(std::tuple(warm.options.temperatureCompensation, warm.temperatureSensors,
                       warm.referenceTemperaturesPacked),
            std::tuple(true, 0, 195200205));

  const TabContents contents = Parse(testing::GoldenT4x(4, 3));
  const ArmRecord& main = contents.main;
  EXPECT_EQ(std::tie(contents.version, main.modelType, main.probeCount, main.parameters[41],
                     main.parameters[42], main.encoderOffsets[7], main.encoderLines[5]),
            std::tuple(44, 1, 3, 410.25f, 0.0f, 350, 9000));
  EXPECT_TRUE(main.jointReversed[5] && main.jointExtendedCount[6] && !main.jointWrapAround[3]);
  EXPECT_EQ(
      std::tuple(OptionsToWord(main.options), main.linkType, main.board1Axes, main.board3Axes,
                 main.probeRadius, main.jointLimits[2], main.expansionCoefficients[2],
                 SupplyThresholds(main), main.spareWords),
      std::tuple(0b10'0010'0010'0100'0001u, 1, 4, 1, 1.5f, JointLimit{-21.0, 40.5}, 1.3e-05,
                 std::array<double, 3>{740.0, 768.0, 800.0}, std::array<std::int32_t, 2>{-1, 2}));
  EXPECT_EQ(std::tie(contents.probes[2].probeName, contents.probes[2].signature),
            std::tie("probe 3", main.signature));
  EXPECT_EQ(contents.probes[3], ArmRecord{});

  const ArmRecord t40 = Parse(testing::GoldenT4x(0, 0)).main;
  EXPECT_EQ(
      std::tuple(t40.probeCount, t40.probeRadius, t40.jointLimits[3], t40.expansionCoefficients[0]),
      std::tuple(0, 1.5f, JointLimit{}, 2.4e-05));
  const TabContents t41 = Parse(testing::GoldenT4x(1, 2));
  EXPECT_EQ(std::tie(t41.version, t41.probes[1].probeName, t41.probes[1].expansionCoefficients[0],
                     t41.main.batteryPresent),
            std::tuple(41, "probe 2", 2.4e-05, 0));
  // A "t40" file has no probe count: bytes after its record are ignored.
  Bytes t40WithTail = testing::GoldenT4x(0, 0);
  t40WithTail.insert(t40WithTail.end(), {1, 2, 3, 4, 5});
  EXPECT_EQ(Parse(t40WithTail).main.probeCount, 0);
}

TEST(TabRead, ReadOverEarlierRecordKeepsFieldsTheVersionLacks) {
  TabContents contents = Parse(testing::GoldenT4x(4, 3));
  contents.main.ambientTemperature = 23;
  ASSERT_EQ(ParseTabFile(testing::GoldenTab(), contents), TabError::None);
  const ArmRecord& main = contents.main;
  // Everything else the old layout lacks is back at its default.
  EXPECT_EQ(std::tie(main.modelType, main.serialSpeedCode, main.armVariant,
                     main.secondJointCorrectionCount, main.ambientTemperature, main.linkType,
                     main.probeCount, main.jointLimits[2]),
            std::tuple(1, 2, 3, -17, 23, 0, 0, JointLimit{}));
}

TEST(TabRead, SignatureRules) {
  const struct {
    const char* signature;
    TabError error;
  } cases[] = {{"t45", TabError::LaterVersion}, {"t49", TabError::LaterVersion},
               {"t71", TabError::LaterVersion}, {"t50", TabError::LaterVersion},
               {"t4x", TabError::NotValid},     {"abc", TabError::NotValid},
               {"t3x", TabError::NotValid},     {"ta4", TabError::NotValid},
               {"T44", TabError::NotValid},     {"t30", TabError::NotValid}};
  for (const auto& c : cases) {
    Bytes file = testing::GoldenT4x(4, 0);
    std::copy(c.signature, c.signature + 3, file.begin());
    TabContents contents;
    EXPECT_EQ(ParseTabFile(file, contents), c.error) << c.signature;
  }
  // The fourth byte of the signature is ignored.
  Bytes file = testing::GoldenT4x(4, 0);
  file[3] = 'Z';
  TabContents contents;
  EXPECT_EQ(ParseTabFile(file, contents), TabError::None);
  EXPECT_EQ(contents.main.signature[3], '\0');
}

TEST(TabRead, TruncationAtEveryByteChangesNothing) {
  const Bytes file = testing::GoldenT4x(4, 2);
  TabContents before = Parse(testing::GoldenTa3(true));
  for (std::size_t size = 0; size < file.size(); ++size) {
    TabContents contents = before;
    ASSERT_EQ(ParseTabFile(std::span(file.data(), size), contents), TabError::NotValid) << size;
    ASSERT_EQ(std::tie(contents.main, contents.probes, contents.version),
              std::tie(before.main, before.probes, before.version))
        << size;
  }
}

// A "t44" record with chosen joint, parameter and probe counts.
Bytes T44WithCounts(std::int64_t jointCount, std::int64_t parameterCount, std::int64_t probeCount) {
  GoldenBytes b;
  b.Raw(std::string_view("t44\0", 4)).Text("arm").I32(jointCount).I32(0).I32(0).I32(0);
  b.I32(parameterCount);
  for (std::int64_t i = 0; i < std::max<std::int64_t>(parameterCount, 0); ++i) b.F32(1.0f);
  for (int i = 0; i < 8 * 3 + 8; ++i) b.I32(0);
  b.F32(2.0f).I32(probeCount).Text("").Text("");
  for (int i = 0; i < 16 + 8; ++i) b.F64(0.0);
  for (int i = 0; i < 12; ++i) b.I32(0);
  return b.bytes();
}

TEST(TabRead, CountsPastTheLimitsAreRejected) {
  EXPECT_EQ(Parse(T44WithCounts(8, 60, 0)).main.jointCount, 8);
  const struct {
    std::int64_t joints, parameters, probes;
  } bad[] = {{9, 24, 0},  {-1, 24, 0}, {6, 61, 0},         {6, -1, 0},
             {6, 28, 11}, {6, 28, -1}, {0x7FFFFFFF, 28, 0}};
  for (const auto& c : bad) {
    TabContents contents;
    EXPECT_EQ(ParseTabFile(T44WithCounts(c.joints, c.parameters, c.probes), contents),
              TabError::NotValid)
        << c.joints << ' ' << c.parameters << ' ' << c.probes;
  }
  // The old layouts store the joint count minus 5.
  Bytes old = testing::GoldenTab();
  old[14] = 4;  // 9 joints
  TabContents contents;
  EXPECT_EQ(ParseTabFile(old, contents), TabError::NotValid);
}

TEST(TabRead, MessagesOfTheLibraryAndTheWizard) {
  Bytes later = testing::GoldenT4x(4, 0);
  later[2] = '5';
  ScriptedOperator ui;
  TabContents contents = Parse(testing::GoldenT4x(4, 3));
  // The one message shown since the last call, as "text|caption|icon".
  const auto shown = [&ui] {
    EXPECT_EQ(ui.requests().size(), 1u);
    const auto& r = ui.requests().at(0);
    const std::string message = r.text + "|" + r.caption + "|" + std::to_string(int(r.icon));
    ui.Clear();
    return message;
  };
  const auto message = [](int id, MessageIcon icon) {
    return LocalText(id, kLibrary.language()) + "|Pilvo DLL|" + std::to_string(int(icon));
  };
  EXPECT_EQ(ReadTabFile(later, contents, kLibrary, ui), -1);
  EXPECT_EQ(shown(), message(1999, MessageIcon::Error));
  EXPECT_EQ(ReadTabFile(Bytes{'a', 'b', 'c', 0}, contents, kWizard, ui), -1);
  EXPECT_EQ(shown().rfind("TAB file is not valid.|", 0), 0u);
  // A missing file is refused and changes nothing.
  const TabContents before = contents;
  EXPECT_EQ(ReadTabFile(::testing::TempDir() + "tab_file_test_missing.tab", contents, kLibrary, ui),
            -1);
  EXPECT_EQ(contents.main, before.main);
  ui.Clear();

  // Older than the current version: the library warns once, the wizard does not.
  EXPECT_EQ(ReadTabFile(testing::GoldenT4x(1, 2), contents, kLibrary, ui), 0);
  EXPECT_EQ(shown(), LocalText(2000, kLibrary.language()) + "\n\n" +
                         message(1997, MessageIcon::Information));
  EXPECT_EQ(ReadTabFile(testing::GoldenT4x(1, 2), contents, kWizard, ui), 0);
  EXPECT_EQ(ReadTabFile(testing::GoldenT4x(4, 2), contents, kLibrary, ui), 0);
  EXPECT_TRUE(ui.requests().empty());
}

TEST(TabWrite, WritingWhatWasReadGivesTheSameBytes) {
  for (const Bytes& golden : AllGoldenFiles()) {
    const TabContents contents = Parse(golden);
    EXPECT_EQ(Serialize(contents), golden) << contents.main.signature.data();
  }
}

TEST(TabWrite, OldLayoutsKeepNineCharactersAndFoldTheExtension) {
  TabContents contents = Parse(testing::GoldenTa2());
  contents.main.name = "ABCDEFGHIJKL";
  const TabContents back = Parse(Serialize(contents));
  EXPECT_EQ(std::tie(back.main.name, back.main.parameters),
            std::tuple("ABCDEFGHI", contents.main.parameters));
}

TEST(TabWrite, RefusesRecordsThatDoNotFit) {
  TabContents contents = Parse(testing::GoldenT4x(4, 0));
  contents.main.probeText2.assign(kMaxArchiveTextLength, 'x');
  EXPECT_EQ(Parse(Serialize(contents)).main.probeText2.size(), kMaxArchiveTextLength);
  const std::function<void(ArmRecord&)> unfit[] = {
      [](ArmRecord& r) { r.probeText2.push_back('x'); }, [](ArmRecord& r) { r.probeCount = 11; },
      [](ArmRecord& r) { r.jointCount = 9; },
      [](ArmRecord& r) {
        r.signature = {'x', 'y', 'z', 0};
      }};
  for (const auto& change : unfit) {
    TabContents bad = contents;
    change(bad.main);
    Bytes bytes{1};
    EXPECT_EQ(SerializeTabFile(bad, bytes), TabWriteError::BadRecord);
    EXPECT_TRUE(bytes.empty());
  }

  // A 16-bit length of 0xFFFF announces a wider prefix, which no file of ours carries.
  GoldenBytes wide;
  wide.Raw(std::string_view("t44\0", 4)).Raw("\xFF\xFF\xFF").Raw(std::string(0xFFFF, 'a'));
  TabContents ignored;
  EXPECT_EQ(ParseTabFile(wide.bytes(), ignored), TabError::NotValid);
}

TEST(ArmRecordDerived, ReferenceTemperatures) {
  using Three = std::array<double, 3>;
  EXPECT_EQ(std::tuple(UnpackReferenceTemperatures(49), UnpackReferenceTemperatures(50),
                       UnpackReferenceTemperatures(-5)),
            std::tuple(Three{49.0, 49.0, 49.0}, Three{5.0, 0.0, 0.0}, Three{-5.0, -5.0, -5.0}));
  const auto packed = UnpackReferenceTemperatures(195200205);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(packed[i], 20.5 - 0.5 * i);
}

json DemoJson(const std::string& name) {
  std::ifstream in(std::string(PILVO_DEMO_JSON_DIR) + "/" + name + ".json");
  return json::parse(in);
}

const char* const kDemoArms[] = {"usb6_quaternion", "serial6_dh_marks", "five_joint",
                                 "rotating_table"};

TEST(TabJson, DemoArmsSurviveJsonAndTabRoundTrips) {
  for (const char* name : kDemoArms) {
    SCOPED_TRACE(name);
    const TabContents contents = TabFromJson(DemoJson(name));
    for (const TabContents& again :
         {TabFromJson(TabToJson(contents)), Parse(Serialize(contents))}) {
      EXPECT_EQ(std::tie(again.main, again.probes), std::tie(contents.main, contents.probes));
    }
    EXPECT_TRUE(StoresWithoutLoss(contents));
  }
}

TEST(TabJson, MissingMembersTakeTheReaderDefaults) {
  const TabContents contents =
      TabFromJson(json::parse(R"({"version": "ta3", "main": {"name": "x", "jointCount": 1}})"));
  EXPECT_EQ(std::tie(contents.main.probeRadius, contents.main.referenceTemperaturesPacked,
                     contents.main.probeCount, contents.version),
            std::tuple(2.0f, 210210210, 0, 30));
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
  const TabContents usb = TabFromJson(DemoJson("usb6_quaternion"));
  EXPECT_FALSE(StoresWithoutLoss(WithVersion(usb, 43)));  // battery data
  EXPECT_FALSE(StoresWithoutLoss(WithVersion(usb, 30)));  // probes

  TabContents plain = TabFromJson(DemoJson("serial6_dh_marks"));
  plain.main.name = "SR60";  // the old layout keeps 9 characters
  plain.main.serialSpeedCode = plain.main.armVariant = plain.main.board2Axes = 0;
  plain.main.options = {};
  plain.main.jointWrapAround = plain.main.jointExtendedCount = {};
  plain.main.secondJointCorrectionCount = 0;
  plain.main.probeRadius = 2.0f;
  plain.main.board1Axes = 6;
  EXPECT_TRUE(StoresWithoutLoss(WithVersion(plain, 10)));
  plain.main.encoderOffsets[0] = 40000;  // needs more than the 16 bits of the old layout
  EXPECT_FALSE(StoresWithoutLoss(WithVersion(plain, 10)));
}

}  // namespace
}  // namespace pilvo
