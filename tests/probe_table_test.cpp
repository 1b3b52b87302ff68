// The probe table on a loaded demo arm without a link: the selection kept in the settings, the
// copy of the probe into the working record, the tooltip, and the TAB file rewritten on every
// addition and deletion, or left alone when it cannot be.
#include "session/probe_table.h"

#include <gtest/gtest.h>

#include "data/byte_io.h"
#include "data/settings.h"
#include "link/arm_board.h"
#include "sim_session_fixture.h"

namespace pilvo {
namespace {

constexpr std::string_view kStore = "pilvo.dll\\_opt_probes_";

class ProbeTableTest : public testing::SimSessionTest {
 protected:
  // The demo arm: a USB six-parameter chain with 3 probes.
  void SetUp() override {
    SimSessionTest::SetUp();
    Load(testing::PlainDemoTab("usb6_quaternion"));
    ASSERT_EQ(state().tab.main.probeCount, 3);
    ui_.Clear();
  }

  // The one message shown since the last call: text id, caption and icon.
  void ExpectOnlyMessage(int id, MessageIcon icon = MessageIcon::Error) {
    ASSERT_EQ(ui_.requests().size(), 1u);
    const auto& shown = ui_.requests()[0];
    EXPECT_EQ(std::tie(shown.text, shown.caption, shown.icon),
              std::tuple(LocalText(id, language()), "Pilvo DLL", icon));
    ui_.Clear();
  }
  int Load(int stored) {
    EXPECT_TRUE(WriteSettingInt("Tools", "toolInUse", stored, Store(kStore)));
    return LoadProbeSelection(state(), ui_, sphere_, Store(kStore), language());
  }
  using SimSessionTest::Load;
  std::int32_t StoredTool() const {
    return static_cast<std::int32_t>(GetSettingInt("Tools", "toolInUse", -9, Store(kStore)));
  }

  double sphere_ = -1.0;
};

TEST_F(ProbeTableTest, SelectionIsReadFromTheStoreAndInvalidProbesReset) {
  ASSERT_TRUE(WriteSettingString("Data", "SphereDiameter", "12.5mm", Store(kStore)));
  // The count names the last probe; the diameter is read with atof.
  EXPECT_EQ(Load(3), 1);
  EXPECT_EQ(std::tuple(state().toolInUse, sphere_, ui_.requests().size()), std::tuple(3, 12.5, 0u));
  for (const int stored : {4, -1}) {
    EXPECT_EQ(Load(stored), 1);
    EXPECT_EQ(std::tuple(state().toolInUse, StoredTool()), std::tuple(0, 0)) << stored;
    ExpectOnlyMessage(2432, MessageIcon::Information);
  }

  // What the dialog's apply keeps comes back on the next load.
  state().toolInUse = 2;
  ASSERT_TRUE(StoreProbeSelection(state(), 25.4, Store(kStore)));
  EXPECT_EQ(GetSettingString("Data", "SphereDiameter", "", Store(kStore)), "25.400");
  state().toolInUse = 0;
  EXPECT_EQ(LoadProbeSelection(state(), ui_, sphere_, Store(kStore), language()), 1);
  EXPECT_EQ(std::tuple(state().toolInUse, sphere_), std::tuple(2, 25.4));
}

TEST_F(ProbeTableTest, ArmsWithoutProbeManagementUseTheBaseRecord) {
  EXPECT_TRUE(ProbeManagementAvailable(state()));
  const std::function<void(ArmSessionState&)> unavailable[] = {
      [](ArmSessionState& s) { s.tab.version = 40; },
      [](ArmSessionState& s) { s.working.linkType = 0; },
      [](ArmSessionState& s) { s.working.modelType = 0; }};
  const ArmSessionState loaded = state();
  for (const auto& change : unavailable) {
    change(state());
    EXPECT_FALSE(ProbeManagementAvailable(state()));
    sphere_ = -1.0;
    EXPECT_EQ(Load(2), 0);
    // The diameter is not read.
    EXPECT_EQ(std::tuple(state().toolInUse, StoredTool(), sphere_, ui_.requests().size()),
              std::tuple(0, 0, -1.0, 0u));
    state() = loaded;
  }
}

TEST_F(ProbeTableTest, ApplyingAProbeCopiesItsRecordAndAcknowledgesItsInput) {
  state().working.ambientTemperature = 23;
  state().toolInUse = 2;
  EXPECT_EQ(ApplySelectedProbe(*session_), 0);
  EXPECT_TRUE(state().armReady);
  ArmRecord expected = state().tab.probes[1];
  expected.ambientTemperature = 23;
  expected.referenceTemperatures = state().working.referenceTemperatures;
  EXPECT_EQ(state().working, expected);

  // A Renishaw probe is acknowledged: without a link the exchange fails with its code.
  state().tab.probes[0].options.auxiliaryInput0 = true;
  state().toolInUse = 1;
  EXPECT_EQ(ApplySelectedProbe(*session_), board::kUsbExchangeFailed);
  EXPECT_EQ(state().working.probeName, state().tab.probes[0].probeName);

  state().toolInUse = 0;
  EXPECT_EQ(ApplySelectedProbe(*session_), 0);
  EXPECT_EQ(std::tie(state().working.probeName, state().working.ambientTemperature),
            std::tuple(state().tab.main.probeName, 23));
}

TEST_F(ProbeTableTest, TooltipNamesArmAndProbeWithinItsLimit) {
  state().working.name = "AB";
  EXPECT_EQ(BuildProbeTooltip(state(), language()), "Pilvo3D M???\nFactory calibration");
  state().working.name = "QX60 long arm";
  state().toolInUse = 3;
  state().tab.probes[2].probeName = std::string(120, 'p');
  EXPECT_EQ(BuildProbeTooltip(state(), language()), "Pilvo3D QX60\n" + std::string(85, 'p'));
  // A character that does not fit whole is left out.
  state().tab.probes[2].probeName = std::string(84, 'p') + "°";
  EXPECT_EQ(BuildProbeTooltip(state(), language()), "Pilvo3D QX60\n" + std::string(84, 'p'));
}

TEST_F(ProbeTableTest, AddingAndDeletingRewriteTheTabFile) {
  const auto draft = NewProbeRecord(state(), 2, ui_, language());
  ASSERT_TRUE(draft);
  EXPECT_EQ(std::tie(draft->probeName, draft->parameters),
            std::tuple("probe n° 4", state().tab.probes[1].parameters));
  ASSERT_TRUE(AddProbe(state(), *draft, ui_, language()));
  EXPECT_EQ(OnDisk().probes[3].probeName, "probe n° 4");

  const TabContents before = state().tab;
  EXPECT_EQ(DeleteProbe(state(), 2, ui_, language()), 1);
  const TabContents after = OnDisk();
  ASSERT_EQ(after.main.probeCount, 3);
  for (const std::size_t i : {0u, 1u, 2u}) {
    EXPECT_EQ(after.probes[i], state().tab.probes[i]) << i;
    EXPECT_EQ(after.probes[i], before.probes[i < 1 ? i : i + 1]) << i;
  }
  EXPECT_TRUE(ui_.requests().empty());
  for (const int probe : {0, 4})
    EXPECT_FALSE(DeleteProbe(state(), probe, ui_, language())) << probe;
  EXPECT_EQ(OnDisk().main.probeCount, 3);

  while (state().tab.main.probeCount < kMaxProbes) {
    ASSERT_TRUE(AddProbe(state(), *draft, ui_, language()));
  }
  EXPECT_FALSE(NewProbeRecord(state(), 0, ui_, language()));
  ExpectOnlyMessage(2421);
  EXPECT_FALSE(AddProbe(state(), *draft, ui_, language()));
  ExpectOnlyMessage(2421);
  EXPECT_EQ(OnDisk().main.probeCount, kMaxProbes);
}

TEST_F(ProbeTableTest, FailedSaveLeavesFileAndRecordsAsTheyWere) {
  const auto fileBefore = ReadWholeFile(folder_ / "arm.tab");
  const TabContents before = state().tab;
  const auto draft = NewProbeRecord(state(), 0, ui_, language());
  ASSERT_TRUE(draft);
  const auto expectUnchanged = [&] {
    ExpectOnlyMessage(2437);
    EXPECT_EQ(std::tie(state().tab.main, state().tab.probes), std::tie(before.main, before.probes));
  };
  state().tabPath = (folder_ / "missing" / "arm.tab").string();
  EXPECT_FALSE(SaveProbeTable(state(), ui_, language()));
  ExpectOnlyMessage(2437);
  EXPECT_FALSE(AddProbe(state(), *draft, ui_, language()));
  expectUnchanged();
  EXPECT_FALSE(DeleteProbe(state(), 1, ui_, language()));
  expectUnchanged();
  EXPECT_FALSE(std::filesystem::exists(state().tabPath));

  // A record the file cannot hold is refused before the file is touched.
  state().tabPath = (folder_ / "arm.tab").string();
  ArmRecord unstorable = *draft;
  unstorable.probeName.assign(kMaxArchiveTextLength + 1, 'n');
  EXPECT_FALSE(AddProbe(state(), unstorable, ui_, language()));
  expectUnchanged();
  EXPECT_EQ(ReadWholeFile(folder_ / "arm.tab"), fileBefore);
}

}  // namespace
}  // namespace pilvo
