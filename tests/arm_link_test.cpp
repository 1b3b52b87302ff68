// The link and the board protocol against the virtual arm: the board's commands within this
// process, and what only the devices show (the port's time-outs and lock, the USB chooser, the
// USB access library's failures) over a real pseudo-terminal and through the simulator flavour
// of the USB access library.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "data/settings.h"
#include "demo_arm.h"
#include "link/arm_board.h"
#include "link/arm_link.h"
#include "sim_session_fixture.h"

namespace pilvo::testing {
namespace {

using sim::Fault;
using Kind = ScriptedOperator::Request::Kind;

// The joint value a correct decoding gives for `degrees`: what the arm's encoder geometry
// says, without the second-joint correction.
double ExpectedJointValue(const ArmRecord& record, int joint, double degrees) {
  return std::round(degrees * record.encoderLines[joint] * 4.0 / 360.0);
}

class LinkTest : public SimSessionTest {
 protected:
  ArmLink& link() { return session_->link(); }
  ArmBoard& board() { return session_->board(); }
  int Read() { return board().ReadArmCounts(counts_); }

  // Demo arms `names` as the USB devices, in this order.
  void ServeDemoArms(const std::vector<std::string>& names) {
    usb_.reset();  // before the arms it serves
    arms_.clear();
    std::vector<sim::VirtualArm*> served;
    for (const std::string& name : names) {
      served.push_back(arms_.emplace_back(std::make_unique<sim::VirtualArm>(DemoArm(name))).get());
    }
    ServeUsb(served);
  }

  std::vector<std::unique_ptr<sim::VirtualArm>> arms_;
  CountList counts_{};
};

// The board's commands, straight to the arm.
class BoardTest : public LinkTest {
 protected:
  BoardTest() { wire_ = Wire::InProcess; }
};

TEST_F(LinkTest, SerialPortTakesItsTimeoutsFromTheProfileAndIsHeldWhileOpen) {
  // Far below the defaults of 20 ms a byte and 1000 ms, which a silent board would outlast.
  WriteSettingInt("TIMEOUT", "ReadTotalMultiplier", 2, Store(kLibraryProfileStore));
  WriteSettingInt("TIMEOUT", "ReadTotalConstant", 100, Store(kLibraryProfileStore));
  Connect(PlainDemoTab("serial6_dh_marks"), Link::Serial);
  ASSERT_EQ(link().OpenArmPort(), 0);
  EXPECT_EQ(GetSettingString("TIMEOUT", "ReadInterval", "", Store(kLibraryProfileStore)), "0")
      << "the missing key is written back";
  ArmLink other(state().working, context_);
  ASSERT_TRUE(other.SetPortName(serial_->slavePath()));
  EXPECT_EQ(other.OpenArmPort(), -1);

  ASSERT_TRUE(arm_->InjectFault(Fault::Silence));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Read(), board::kShortSerialReply);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const auto deadline = std::chrono::milliseconds(2 * board().serialRequest().length + 100);
  EXPECT_GE(elapsed, deadline);
  EXPECT_LT(elapsed, deadline + std::chrono::seconds(1));

  ASSERT_EQ(link().OpenArmPort(), 0);
  EXPECT_EQ(link().ChiudePorta(), 0);
  EXPECT_EQ(link().ChiudePorta(), -1);
  EXPECT_EQ(ui_.CountOf(Kind::Disconnected), 3u) << "every close is told";
  EXPECT_FALSE(link().SetPortName("/dev/ttyUSB10"));  // does not fit the 11-character field
  ASSERT_TRUE(link().SetPortName("/dev/nodev"));
  EXPECT_EQ(link().OpenArmPort(), -1);
  EXPECT_FALSE(link().IsOpen());
}

TEST_F(LinkTest, UsbChooserOffersTheFirstTenArmsByIdentifier) {
  Load(PlainDemoTab("usb6_quaternion"));
  ServeDemoArms({});
  EXPECT_EQ(link().ChooseUsbDevice(true), -1);
  ASSERT_FALSE(ui_.requests().empty());
  EXPECT_EQ(ui_.requests().back().text, "Device/s not found");

  ServeDemoArms({"usb6_quaternion"});
  ui_.Clear();
  ASSERT_EQ(link().OpenArmPort(), 0);  // one arm: no chooser
  EXPECT_EQ(ui_.CountOf(Kind::Choice), 0u);
  ArmIdentity identity;
  ASSERT_EQ(board().QueryArmIdentity(identity), 0);
  EXPECT_STREQ(identity.identifier.data(), "PA60");
  EXPECT_STREQ(identity.version.data(), "1.5");
  link().ChiudePorta();

  ServeDemoArms({"usb6_quaternion", "rotating_table"});
  ui_.ScriptChoice(1);
  ASSERT_EQ(link().OpenArmPort(), 0);
  EXPECT_EQ(ui_.lastChoiceLines(), (std::vector<std::string>{"PA60", "RT70"}));
  EXPECT_EQ(ui_.requests().back().caption, "Pilvo3D USB devices");
  EXPECT_EQ(link().usbInstance(), 1);
  ASSERT_EQ(board().QueryArmIdentity(identity), 0);
  EXPECT_STREQ(identity.identifier.data(), "RT70");
  link().ChiudePorta();
  ui_.ScriptChoice(std::nullopt);  // Cancel
  EXPECT_EQ(link().OpenArmPort(), -1);

  ServeDemoArms(std::vector<std::string>(11, "usb6_quaternion"));
  ui_.ScriptChoice(9);
  ASSERT_EQ(link().OpenArmPort(), 0);
  EXPECT_EQ(ui_.lastChoiceLines().size(), 10u);
  EXPECT_EQ(link().usbInstance(), 9);
}

TEST_F(LinkTest, UsbLibraryFailuresCloseTheLinkAndOnlyAnInvalidHandleGoesUnprinted) {
  Connect(PlainDemoTab("usb6_quaternion"), Link::Usb);
  ASSERT_EQ(Read(), 0);
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
    ASSERT_TRUE(arm_->InjectFault(c.fault));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Read(), c.code);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_FALSE(link().IsOpen());
    EXPECT_EQ(Read(), 0);
  }

  // Unplugged in the middle of a session: the pipes die, the exchange fails and closes the
  // link, and once the arm is back the next read reopens it.
  arm_->SetPlugged(false);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(Read(), board::kUsbExchangeFailed);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(link().IsOpen());
  EXPECT_EQ(Read(), board::kLinkClosed);
  arm_->SetPlugged(true);
  EXPECT_EQ(Read(), 0);
}

TEST_F(BoardTest, UsbCountsTemperaturesAndSupply) {
  Connect(PlainDemoTab("usb6_quaternion"), Link::Usb);
  const std::vector<double> angles = {170.0, -45.5, 33.3, -120.0, 359.0, -0.5};
  ASSERT_TRUE(arm_->SetJointAngles(angles));
  ASSERT_TRUE(arm_->SetTemperatures({22.0, 23.5, 19.0}));
  ASSERT_TRUE(arm_->SetSupply({.reading = 784, .monitored = true, .onBattery = true}));
  Hold({2});

  ASSERT_EQ(Read(), 0);  // firmware code 0 until identified: 48 bytes
  for (int joint = 0; joint < 6; ++joint) {
    EXPECT_EQ(board().jointValues()[joint],
              ExpectedJointValue(state().working, joint, angles[joint]));
  }
  EXPECT_EQ(board().temperatures()[0], -60.0);  // no calibration yet
  EXPECT_FALSE(board().supplyMonitor());
  EXPECT_EQ(board().status().status1 & 2, 0);

  bool validReference = false;
  ASSERT_EQ(board().ConfigureForInitialisation(validReference), 0);
  EXPECT_TRUE(validReference);
  EXPECT_EQ(arm_->observations().configuration, (std::array<int, 3>{6, 0, 0}));
  board().SetFirmwareCode(15);
  ASSERT_EQ(Read(), 0);
  EXPECT_NEAR(board().temperatures()[0], 22.0, 0.1);
  EXPECT_NEAR(board().temperatures()[1], 23.5, 0.1);
  EXPECT_NEAR(board().temperatures()[2], 19.0, 0.1);
  EXPECT_EQ(board().supplyReading(), 784.0);
  EXPECT_TRUE(board().supplyMonitor());
  EXPECT_TRUE(board().onBattery());
  EXPECT_EQ(board().SupplyStateText(), " Charge 55% Remain 4h, 24min");

  // Firmware 1.4 boards answer 48 bytes to the longer request: a short reply.
  ASSERT_TRUE(arm_->SetFirmware({1, 4}));
  EXPECT_EQ(Read(), board::kUsbExchangeFailed);
  board().SetFirmwareCode(14);
  EXPECT_EQ(Read(), 0);
  EXPECT_FALSE(board().supplyMonitor());

  ASSERT_TRUE(arm_->InjectFault(Fault::Silence));
  EXPECT_EQ(board().ConfigureForInitialisation(validReference), board::kLinkClosed);
  EXPECT_FALSE(link().IsOpen());
}

TEST_F(BoardTest, UsbCommandsAndMarks) {
  armOptions_.referenced = false;
  Connect(PlainDemoTab("usb6_quaternion"), Link::Usb);
  ASSERT_EQ(link().OpenArmPort(), 0);

  std::array<std::uint8_t, 5> thresholds{};
  ASSERT_EQ(board().ReadBatteryThresholds(thresholds), 0);
  ASSERT_EQ(board().WriteBatteryThresholds(), 0);
  ASSERT_EQ(board().ReadBatteryThresholds(thresholds), 0);
  EXPECT_EQ(thresholds, (std::array<std::uint8_t, 5>{0xE4, 0x02, 0x00, 0x03, 0}));

  std::uint32_t marked = 0;
  PassMarks({2});
  ASSERT_EQ(board().ReadReferenceMarks(false, marked), 0);
  EXPECT_EQ(marked, 0b100u);
  board().ConfirmReferenceMarks();
  EXPECT_EQ(arm_->observations().probeModeByte, 1);
  board().SetProbeMode(1);
  EXPECT_EQ(arm_->observations().probeModeByte, 2);

  state().working.options.auxiliaryInput1 = true;
  ASSERT_EQ(board().ConfigureBoards(), 0);
  EXPECT_FALSE(state().working.options.auxiliaryInput1);
  ASSERT_EQ(board().AcknowledgeInput(2), 0);
  EXPECT_EQ(arm_->observations().acknowledgedInputs, std::vector<int>{2});
  std::array<std::uint8_t, 10> raw{};
  ASSERT_EQ(board().RawExchange(raw), 0);
  EXPECT_EQ(raw[0], 0x34);

  // Fault: a bad reply to the probe mode or to the release, neither of them checked, closed the
  // link.
  for (const std::uint8_t command : {std::uint8_t{0x33}, std::uint8_t{0x50}}) {
    for (const Fault fault : {Fault::Silence, Fault::WrongEcho}) {
      ASSERT_TRUE(arm_->InjectFault(fault, 1, command));
      board().SetProbeMode(0);
      board().ReleaseArm();
      EXPECT_TRUE(link().IsOpen()) << static_cast<int>(command);
    }
  }
  EXPECT_EQ(arm_->observations().probeModeByte, 1);
  EXPECT_EQ(link().ChiudePorta(), 0);  // probe mode clear: the release goes first
  EXPECT_EQ(arm_->observations().releaseCount, 5);
}

}  // namespace
}  // namespace pilvo::testing
