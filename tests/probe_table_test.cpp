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
    EXPECT_EQ(ui_.requests()[0].text, LocalText(id, language()));
    EXPECT_EQ(ui_.requests()[0].caption, "Pilvo DLL");
    EXPECT_EQ(ui_.requests()[0].icon, icon);
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
  EXPECT_EQ(Load(3), 1);
  EXPECT_EQ(state().toolInUse, 3) << "the count names the last probe";
  EXPECT_EQ(sphere_, 12.5) << "read with atof";
  EXPECT_TRUE(ui_.requests().empty());
  for (const int stored : {4, -1}) {
    EXPECT_EQ(Load(stored), 1);
    EXPECT_EQ(state().toolInUse, 0) << stored;
    EXPECT_EQ(StoredTool(), 0) << "written back";
    ExpectOnlyMessage(2432, MessageIcon::Information);
  }

  // What the dialog's apply keeps comes back on the next load.
  state().toolInUse = 2;
  ASSERT_TRUE(StoreProbeSelection(state(), 25.4, Store(kStore)));
  EXPECT_EQ(GetSettingString("Data", "SphereDiameter", "", Store(kStore)), "25.400");
  state().toolInUse = 0;
  EXPECT_EQ(LoadProbeSelection(state(), ui_, sphere_, Store(kStore), language()), 1);
  EXPECT_EQ(state().toolInUse, 2);
  EXPECT_EQ(sphere_, 25.4);
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
    EXPECT_EQ(state().toolInUse, 0);
    EXPECT_EQ(StoredTool(), 0);
    EXPECT_EQ(sphere_, -1.0) << "not read";
    EXPECT_TRUE(ui_.requests().empty());
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
  EXPECT_EQ(state().working.probeName, state().tab.main.probeName);
  EXPECT_EQ(state().working.ambientTemperature, 23);
}

TEST_F(ProbeTableTest, TooltipNamesArmAndProbeWithinItsLimit) {
  state().working.name = "AB";
  EXPECT_EQ(BuildProbeTooltip(state(), language()), "Pilvo3D M???\nFactory calibration");
  state().working.name = "QX60 long arm";
  state().toolInUse = 3;
  state().tab.probes[2].probeName = std::string(120, 'p');
  const std::string tooltip = BuildProbeTooltip(state(), language());
  EXPECT_EQ(tooltip, "Pilvo3D QX60\n" + std::string(85, 'p'));
  EXPECT_EQ(tooltip.size(), kMaxProbeTooltip);
  // A character that does not fit whole is left out.
  state().tab.probes[2].probeName = std::string(84, 'p') + "°";
  EXPECT_EQ(BuildProbeTooltip(state(), language()), "Pilvo3D QX60\n" + std::string(84, 'p'));
}

TEST_F(ProbeTableTest, AddingAndDeletingRewriteTheTabFile) {
  const auto draft = NewProbeRecord(state(), 2, ui_, language());
  ASSERT_TRUE(draft);
  EXPECT_EQ(draft->probeName, "probe n° 4");
  EXPECT_EQ(draft->parameters, state().tab.probes[1].parameters);
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
    EXPECT_EQ(state().tab.main, before.main);
    EXPECT_EQ(state().tab.probes, before.probes);
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
