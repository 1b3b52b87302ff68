// The link and the board protocol end to end against the virtual arm: over a real
// pseudo-terminal, and through the simulator flavour of the USB access library.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "data/local_text.h"
#include "data/settings.h"
#include "data/tab_file.h"
#include "demo_arm.h"
#include "dialogs/scripted_operator.h"
#include "link/arm_board.h"
#include "link/arm_link.h"
#include "scoped_config_dir.h"
#include "session/arm_session.h"
#include "sim/serial_server.h"
#include "sim/usb_server.h"
#include "sim/virtual_arm.h"

namespace pilvo {
namespace {

using sim::Fault;
using testing::DemoArm;

// The joint value a correct decoding gives for `degrees`: what the arm's encoder geometry
// says, without the second-joint correction.
double ExpectedJointValue(const ArmRecord& record, int joint, double degrees) {
  return std::round(degrees * record.encoderLines[joint] * 4.0 / 360.0);
}

class LinkTest : public ::testing::Test {
 protected:
  void TearDown() override {
    board_.reset();
    link_.reset();
    serial_.reset();
    usb_.reset();
    arms_.clear();
  }

  // A link and board on `record`, as the library has them.
  void Connect(const ArmRecord& record) {
    record_ = record;
    tables_ = DeriveJointTables(record_);
    link_ = std::make_unique<ArmLink>(record_, config_.context(), DeviceChooserOf(ui_));
    link_->SetCloseListener([this] { ++closes_; });
    board_ = std::make_unique<ArmBoard>(*link_, record_, tables_);
  }

  sim::VirtualArm& AddArm(const ArmRecord& record, sim::VirtualArmOptions options = {}) {
    arms_.push_back(std::make_unique<sim::VirtualArm>(record, options));
    return *arms_.back();
  }

  void ServeSerial(sim::VirtualArm& arm) {
    serial_ = std::make_unique<sim::SerialSimServer>(arm);
    ASSERT_TRUE(serial_->Start());
    ASSERT_TRUE(link_->SetPortName(serial_->slavePath()));
  }

  void ServeUsb() {
    std::vector<sim::VirtualArm*> arms;
    for (auto& arm : arms_) arms.push_back(arm.get());
    const auto socket = config_.path() / "usb.sock";
    ::setenv("PILVO_SIM_USB_SOCKET", socket.c_str(), 1);
    usb_ = std::make_unique<sim::UsbSimServer>(arms, socket.string());
    ASSERT_TRUE(usb_->Start());
  }

  // Quick serial time-outs so that a silent arm fails fast.
  void ShortSerialTimeouts() {
    WriteSettingInt("TIMEOUT", "ReadInterval", 0, config_.Store(kLibraryProfileStore));
    WriteSettingInt("TIMEOUT", "ReadTotalMultiplier", 2, config_.Store(kLibraryProfileStore));
    WriteSettingInt("TIMEOUT", "ReadTotalConstant", 150, config_.Store(kLibraryProfileStore));
  }

  testing::ScopedConfigDir config_{"arm_link_test"};
  ScriptedOperator ui_;
  ArmRecord record_;
  JointTables tables_;
  std::unique_ptr<ArmLink> link_;
  std::unique_ptr<ArmBoard> board_;
  std::vector<std::unique_ptr<sim::VirtualArm>> arms_;
  std::unique_ptr<sim::SerialSimServer> serial_;
  std::unique_ptr<sim::UsbSimServer> usb_;
  int closes_ = 0;
  CountList counts_{};
};

TEST_F(LinkTest, SerialOpenWritesTheTimeoutKeysAndKeepsAStoredZero) {
  Connect(DemoArm("serial6_dh_marks"));
  sim::VirtualArm& arm = AddArm(record_);
  ServeSerial(arm);
  WriteSettingInt("TIMEOUT", "ReadInterval", 0, config_.Store(kLibraryProfileStore));
  ASSERT_EQ(link_->OpenArmPort(), 0);
  EXPECT_TRUE(link_->IsOpen());
  EXPECT_EQ(GetSettingString("TIMEOUT", "ReadInterval", "", config_.Store(kLibraryProfileStore)),
            "0");
  EXPECT_EQ(
      GetSettingInt("TIMEOUT", "ReadTotalMultiplier", -1, config_.Store(kLibraryProfileStore)),
      20u);
  EXPECT_EQ(GetSettingInt("TIMEOUT", "ReadTotalConstant", -1, config_.Store(kLibraryProfileStore)),
            1000u);

  // The port is held: a second link cannot open it.
  ArmLink other(record_, config_.context());
  ASSERT_TRUE(other.SetPortName(serial_->slavePath()));
  EXPECT_EQ(other.OpenArmPort(), -1);

  EXPECT_EQ(link_->ChiudePorta(), 0);
  EXPECT_EQ(link_->ChiudePorta(), -1);
  EXPECT_EQ(closes_, 2);

  EXPECT_FALSE(link_->SetPortName("/dev/ttyUSB10"));  // does not fit the 11-character field
  ASSERT_TRUE(link_->SetPortName("/dev/nodev"));
  EXPECT_EQ(link_->OpenArmPort(), -1);
  EXPECT_FALSE(link_->IsOpen());
}

TEST_F(LinkTest, SerialReferenceMarksSwitchToTheLatchedRegisters) {
  Connect(DemoArm("serial6_dh_marks"));
  sim::VirtualArmOptions options;
  options.referenced = false;
  sim::VirtualArm& arm = AddArm(record_, options);
  ServeSerial(arm);
  ASSERT_TRUE(arm.SetPowerOnShift(0, 777));
  ASSERT_TRUE(arm.SetJointAngle(0, 10.0));
  ASSERT_EQ(link_->OpenArmPort(), 0);

  std::uint32_t marks = 0xFF;
  ASSERT_EQ(board_->ReadReferenceMarks(false, marks), 0);
  EXPECT_EQ(marks, 0u);  // no axis has passed its mark
  EXPECT_EQ(board_->serialRequest().offset, kLatchedRegisterOffset);
  ASSERT_TRUE(arm.PassReferenceMark(0));
  ASSERT_TRUE(arm.PassReferenceMark(5));
  ASSERT_EQ(board_->ReadReferenceMarks(false, marks), 0);
  EXPECT_EQ(marks, 0b100001u);
  ASSERT_EQ(board_->ReadArmCounts(counts_), 0);
  EXPECT_TRUE(board_->countsFresh());
  EXPECT_EQ(board_->jointValues()[0], ExpectedJointValue(record_, 0, 10.0));
  EXPECT_EQ(board_->AcknowledgeInput(0), 0);
  ArmIdentity identity;
  EXPECT_EQ(board_->QueryArmIdentity(identity), board::kLinkClosed);
  EXPECT_EQ(board_->ConfigureBoards(), board::kNeedsUsb);
}

TEST_F(LinkTest, SerialSilenceFailsAfterTheConfiguredTime) {
  WriteSettingInt("TIMEOUT", "ReadTotalMultiplier", 10, config_.Store(kLibraryProfileStore));
  WriteSettingInt("TIMEOUT", "ReadTotalConstant", 300, config_.Store(kLibraryProfileStore));
  Connect(DemoArm("serial6_dh_marks"));
  sim::VirtualArm& arm = AddArm(record_);
  ServeSerial(arm);
  ASSERT_EQ(board_->BuildSerialRequest(0), 0);
  ASSERT_EQ(link_->OpenArmPort(), 0);
  ASSERT_TRUE(arm.InjectFault(Fault::Silence));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(board_->ReadArmCounts(counts_), board::kShortSerialReply);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const auto deadline =
      std::chrono::milliseconds(10 * board_->serialRequest().length + 300);  // 10 x 22 + 300
  EXPECT_GE(elapsed, deadline);
  EXPECT_LT(elapsed, deadline + std::chrono::seconds(2));
}

TEST_F(LinkTest, UsbChooserAndIdentity) {
  ServeUsb();  // no arm yet
  Connect(DemoArm("usb6_quaternion"));
  EXPECT_EQ(link_->ChooseUsbDevice(true), -1);
  ASSERT_FALSE(ui_.requests().empty());
  EXPECT_EQ(ui_.requests().back().text, "Device/s not found");
  usb_.reset();

  AddArm(record_);
  ServeUsb();
  ui_.Clear();
  ASSERT_EQ(link_->OpenArmPort(), 0);  // one arm: no chooser
  EXPECT_EQ(ui_.CountOf(ScriptedOperator::Request::Kind::Choice), 0u);
  ArmIdentity identity;
  ASSERT_EQ(board_->QueryArmIdentity(identity), 0);
  EXPECT_STREQ(identity.identifier.data(), "PA60");
  EXPECT_STREQ(identity.version.data(), "1.5");
  EXPECT_EQ(FirmwareCodeOfVersion(identity.version.data()), 15);
  EXPECT_EQ(link_->ChiudePorta(), 0);
  usb_.reset();

  AddArm(DemoArm("rotating_table"));
  ServeUsb();
  ui_.ScriptChoice(1);
  ASSERT_EQ(link_->OpenArmPort(), 0);
  EXPECT_EQ(ui_.lastChoiceLines(), (std::vector<std::string>{"PA60", "RT70"}));
  EXPECT_EQ(ui_.requests().back().caption, "Pilvo3D USB devices");
  EXPECT_EQ(link_->usbInstance(), 1);
  ASSERT_EQ(board_->QueryArmIdentity(identity), 0);
  EXPECT_STREQ(identity.identifier.data(), "RT70");
  link_->ChiudePorta();
  ui_.ScriptChoice(std::nullopt);  // Cancel
  EXPECT_EQ(link_->OpenArmPort(), -1);
  usb_.reset();

  // Of eleven arms only the first ten found are offered.
  for (int more = 0; more < 9; ++more) AddArm(record_);
  ServeUsb();
  ui_.ScriptChoice(9);
  ASSERT_EQ(link_->OpenArmPort(), 0);
  EXPECT_EQ(ui_.lastChoiceLines().size(), 10u);
  EXPECT_EQ(link_->usbInstance(), 9);
}

TEST_F(LinkTest, UsbCountsTemperaturesAndSupply) {
  Connect(DemoArm("usb6_quaternion"));
  sim::VirtualArm& arm = AddArm(record_);
  ServeUsb();
  const std::vector<double> angles = {170.0, -45.5, 33.3, -120.0, 359.0, -0.5};
  ASSERT_TRUE(arm.SetJointAngles(angles));
  ASSERT_TRUE(arm.SetTemperatures({22.0, 23.5, 19.0}));
  ASSERT_TRUE(arm.SetSupply({.reading = 784, .monitored = true, .onBattery = true}));
  ASSERT_TRUE(arm.SetButton(2, true));

  ASSERT_EQ(board_->ReadArmCounts(counts_), 0);  // firmware code 0 until identified: 48 bytes
  for (int joint = 0; joint < 6; ++joint) {
    EXPECT_EQ(board_->jointValues()[joint], ExpectedJointValue(record_, joint, angles[joint]));
  }
  EXPECT_EQ(board_->temperatures()[0], -60.0);  // no calibration yet
  EXPECT_FALSE(board_->supplyMonitor());
  EXPECT_EQ(board_->status().status1 & 2, 0);

  bool validReference = false;
  ASSERT_EQ(board_->ConfigureForInitialisation(validReference), 0);
  EXPECT_TRUE(validReference);
  EXPECT_EQ(arm.observations().configuration, (std::array<int, 3>{6, 0, 0}));
  board_->SetFirmwareCode(15);
  ASSERT_EQ(board_->ReadArmCounts(counts_), 0);
  EXPECT_NEAR(board_->temperatures()[0], 22.0, 0.1);
  EXPECT_NEAR(board_->temperatures()[1], 23.5, 0.1);
  EXPECT_NEAR(board_->temperatures()[2], 19.0, 0.1);
  EXPECT_EQ(board_->supplyReading(), 784.0);
  EXPECT_TRUE(board_->supplyMonitor());
  EXPECT_TRUE(board_->onBattery());
  EXPECT_EQ(board_->SupplyStateText(), " Charge 55% Remain 4h, 24min");

  // Firmware 1.4 boards answer 48 bytes to the longer request: a short reply.
  ASSERT_TRUE(arm.SetFirmware({1, 4}));
  EXPECT_EQ(board_->ReadArmCounts(counts_), board::kUsbExchangeFailed);
  board_->SetFirmwareCode(14);
  EXPECT_EQ(board_->ReadArmCounts(counts_), 0);
  EXPECT_FALSE(board_->supplyMonitor());
}

TEST_F(LinkTest, UsbCommandsAndMarks) {
  Connect(DemoArm("usb6_quaternion"));
  sim::VirtualArmOptions options;
  options.referenced = false;
  sim::VirtualArm& arm = AddArm(record_, options);
  ServeUsb();
  ASSERT_EQ(link_->OpenArmPort(), 0);

  std::array<std::uint8_t, 5> thresholds{};
  ASSERT_EQ(board_->ReadBatteryThresholds(thresholds), 0);
  ASSERT_EQ(board_->WriteBatteryThresholds(), 0);
  ASSERT_EQ(board_->ReadBatteryThresholds(thresholds), 0);
  EXPECT_EQ(thresholds, (std::array<std::uint8_t, 5>{0xE4, 0x02, 0x00, 0x03, 0}));

  std::uint32_t marked = 0;
  ASSERT_TRUE(arm.PassReferenceMark(2));
  ASSERT_EQ(board_->ReadReferenceMarks(false, marked), 0);
  EXPECT_EQ(marked, 0b100u);
  board_->ConfirmReferenceMarks();
  EXPECT_EQ(arm.observations().probeModeByte, 1);
  board_->SetProbeMode(1);
  EXPECT_EQ(arm.observations().probeModeByte, 2);

  record_.options.auxiliaryInput1 = true;
  ASSERT_EQ(board_->ConfigureBoards(), 0);
  EXPECT_FALSE(record_.options.auxiliaryInput1);
  ASSERT_EQ(board_->AcknowledgeInput(2), 0);
  EXPECT_EQ(arm.observations().acknowledgedInputs, std::vector<int>{2});

  std::array<std::uint8_t, 10> raw{};
  ASSERT_EQ(board_->RawExchange(raw), 0);
  EXPECT_EQ(raw[0], 0x34);

  // Fault: a bad reply to the probe mode or to the release, neither of them checked, closed the
  // link.
  for (const std::uint8_t command : {std::uint8_t{0x33}, std::uint8_t{0x50}}) {
    for (const Fault fault : {Fault::Silence, Fault::WrongEcho}) {
      ASSERT_TRUE(arm.InjectFault(fault, 1, command));
      board_->SetProbeMode(0);
      board_->ReleaseArm();
      EXPECT_TRUE(link_->IsOpen()) << static_cast<int>(command);
    }
  }
  EXPECT_EQ(arm.observations().probeModeByte, 1);

  EXPECT_EQ(link_->ChiudePorta(), 0);  // probe mode clear: the release goes first
  EXPECT_EQ(arm.observations().releaseCount, 5);
}

TEST_F(LinkTest, UsbFaultsAndUnplugRecover) {
  Connect(DemoArm("usb6_quaternion"));
  sim::VirtualArm& arm = AddArm(record_);
  ServeUsb();
  ASSERT_EQ(board_->ReadArmCounts(counts_), 0);

  // A library failure other than an invalid handle (here the time-out of silence) is only
  // written out.
  const struct {
    Fault fault;
    int code;
    std::string printed;
  } cases[] = {{Fault::Silence, board::kUsbExchangeFailed, "Error Code \r\n"},
               {Fault::ShortReply, board::kUsbExchangeFailed, ""},
               {Fault::WrongEcho, board::kUsbBadReply, ""}};
  for (const auto& c : cases) {
    ASSERT_TRUE(arm.InjectFault(c.fault));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(board_->ReadArmCounts(counts_), c.code);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_FALSE(link_->IsOpen());
    EXPECT_EQ(board_->ReadArmCounts(counts_), 0);
  }
  ASSERT_TRUE(arm.InjectFault(Fault::Silence));
  bool validReference = false;
  EXPECT_EQ(board_->ConfigureForInitialisation(validReference), board::kLinkClosed);
  EXPECT_FALSE(link_->IsOpen());

  // Unplugged in the middle of a session: the pipes die, the exchange fails and closes the
  // link, and once the arm is back the next read reopens it.
  ASSERT_EQ(board_->ReadArmCounts(counts_), 0);
  arm.SetPlugged(false);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(board_->ReadArmCounts(counts_), board::kUsbExchangeFailed);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(link_->IsOpen());
  EXPECT_EQ(board_->ReadArmCounts(counts_), board::kLinkClosed);
  arm.SetPlugged(true);
  EXPECT_EQ(board_->ReadArmCounts(counts_), 0);
}

}  // namespace
}  // namespace pilvo
