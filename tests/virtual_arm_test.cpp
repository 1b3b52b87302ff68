// The virtual arm's bytes, worked out by hand from joint angles, layouts and sensor values; its
// serial server through a real pseudo-terminal, used from the slave side through the driver's
// serial port; its control language and the language's two transports.
#include "sim/virtual_arm.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

#include "link/serial_port.h"
#include "sim/control.h"
#include "sim/control_transport.h"
#include "sim/serial_server.h"

namespace pilvo::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::string_literals;

// Seven joints of 3600 lines (40 counts a degree) on boards of 4, 2 and 1 axes, the last axis of
// board 1 moved to the end; joint 2 has an offset of 100, joint 3 turns the other way.
ArmRecord SevenAxisUsbArm() {
  ArmRecord record;
  record.name = "UA70 test arm";
  record.jointCount = 7;
  record.encoderLines.fill(3600);
  record.encoderOffsets[2] = 100;
  record.jointReversed[3] = true;
  record.board1Axes = 4;
  record.board2Axes = 2;
  record.board3Axes = 1;
  record.options.movedAxis = true;
  record.linkType = 1;
  record.supplyThresholdBytes = {0xE4, 0x02, 0x00, 0x03, 0x20, 0x03};
  return record;
}

// Six joints of 3600 lines, all with extended counts; joint 1 has an offset of -1000.
ArmRecord SixAxisSerialArm() {
  ArmRecord record;
  record.name = "SR60";
  record.jointCount = 6;
  record.encoderLines.fill(3600);
  record.encoderOffsets[1] = -1000;
  record.jointExtendedCount.fill(true);
  return record;
}

Bytes Axis(const Bytes& block, std::size_t offset) {
  return Bytes(block.begin() + static_cast<std::ptrdiff_t>(offset),
               block.begin() + static_cast<std::ptrdiff_t>(offset) + 3);
}

Bytes Usb(VirtualArm& arm, const Bytes& request) {
  return arm.HandleUsbRequest(request);
}

const Bytes kReadCounts{0x34, 0x02};

TEST(UsbCountBlock, ChannelsInDecodeOrderWithSignsAndMarks) {
  VirtualArm arm(SevenAxisUsbArm());
  ASSERT_TRUE(arm.SetJointAngles(std::vector<double>{10, -2.5, 1, 5, 0.5, 100, -200}));
  const Bytes block = Usb(arm, kReadCounts);
  ASSERT_EQ(block.size(), 48u);
  EXPECT_EQ(block[0], 0x34);
  // 23-bit counts, low byte first, bit 7 of the high byte = mark passed.
  EXPECT_EQ(Axis(block, 1), (Bytes{0x90, 0x01, 0x80}));   // 400
  EXPECT_EQ(Axis(block, 4), (Bytes{0x9C, 0xFF, 0xFF}));   // -100
  EXPECT_EQ(Axis(block, 7), (Bytes{0xC4, 0xFF, 0xFF}));   // 40 - offset 100
  EXPECT_EQ(Axis(block, 26), (Bytes{0x38, 0xFF, 0xFF}));  // board 2 axis 2 first: -200, reversed
  EXPECT_EQ(Axis(block, 23), (Bytes{0x14, 0x00, 0x80}));  // then board 2 axis 1: 20
  EXPECT_EQ(Axis(block, 36), (Bytes{0xA0, 0x0F, 0x80}));  // board 3 axis 1: 4000
  EXPECT_EQ(Axis(block, 10), (Bytes{0xC0, 0xE0, 0xFF}));  // moved axis last: -8000
  for (const std::size_t unused : {13, 16, 29, 39, 42}) {
    EXPECT_EQ(Axis(block, unused), (Bytes{0, 0, 0})) << "offset " << unused;
  }
  // The reference-mark query answers the same block under its own echo.
  Bytes marks = Usb(arm, {0x33, 0x03, 0x00});
  ASSERT_EQ(marks.size(), 48u);
  EXPECT_EQ(marks[0], 0x33);
  marks[0] = 0x34;
  EXPECT_EQ(marks, block);

  ArmRecord inserted = SevenAxisUsbArm();
  inserted.options = {.insertedAxis = true};
  inserted.jointCount = 6;
  inserted.board1Axes = 5;
  inserted.board2Axes = inserted.board3Axes = 0;
  VirtualArm insertedArm(inserted);
  ASSERT_TRUE(insertedArm.SetJointAngles(std::vector<double>{0, 0, 50, -1, 0, 3}));
  const Bytes counts = Usb(insertedArm, kReadCounts);
  EXPECT_EQ(Axis(counts, 7), (Bytes{0x28, 0x00, 0x80}));   // joint 3 (reversed) on channel 2
  EXPECT_EQ(Axis(counts, 13), (Bytes{0x78, 0x00, 0x80}));  // joint 5 on channel 4
}

TEST(UsbCountBlock, UnreferencedCountersCarryTheirShiftUntilTheMark) {
  VirtualArmOptions options;
  options.referenced = false;
  VirtualArm arm(SevenAxisUsbArm(), options);
  arm.SetPowerOnShift(0, 1000);
  arm.SetJointAngle(0, 10);
  EXPECT_EQ(Axis(Usb(arm, kReadCounts), 1), (Bytes{0x78, 0x05, 0x00}));  // 1400, no mark
  // The default shift is fixed: 12345 for joint 0 … 12345 x 7 for joint 6.
  EXPECT_EQ(Axis(Usb(arm, kReadCounts), 10), (Bytes{0x8F, 0x51, 0x01}));  // 86415

  arm.SetJointAngle(0, 20);  // away from the mark at 0: still unreferenced
  EXPECT_FALSE(arm.snapshot().joints[0].referenced);
  arm.SetJointAngle(0, -5);                                              // across it
  EXPECT_EQ(Axis(Usb(arm, kReadCounts), 1), (Bytes{0x38, 0xFF, 0xFF}));  // -200, marked

  arm.SetMarkAngle(1, 45);
  arm.SetJointAngle(1, 45);  // onto the mark
  arm.PassReferenceMark(2);
  const ArmState state = arm.snapshot();
  EXPECT_TRUE(state.joints[1].referenced);
  EXPECT_TRUE(state.joints[2].referenced);
  EXPECT_FALSE(state.joints[3].referenced);

  arm.SetAllReferenced(false);
  EXPECT_EQ(Axis(Usb(arm, kReadCounts), 1)[2] & 0x80, 0);
}

TEST(UsbCommands, MalformedRequestsAreSilent) {
  VirtualArm arm(SevenAxisUsbArm());
  for (const Bytes& request :
       {Bytes{}, Bytes{0x00}, Bytes{0x00, 0x03}, Bytes{0x00, 0x02, 0x00}, Bytes{0x34, 0x03, 0x33},
        Bytes{0x33, 0x03, 0x03}, Bytes{0x15, 0x05, 1, 2, 3}, Bytes{0x32, 0x04, 1, 2},
        Bytes{0x99, 0x02}, Bytes{0x35, 0x02}}) {
    EXPECT_TRUE(Usb(arm, request).empty()) << testing::PrintToString(request);
  }
  EXPECT_FALSE(arm.observations().configuration);
  EXPECT_EQ(arm.observations().requestsHandled, 10);
}

// The register list for six extended axes.
const Bytes kLiveList{0x01, 0x00, 0x22, 0x42, 0x62, 0x82, 0xA2, 0x92, 0x20, 0x40, 0x60,
                      0x80, 0xA0, 0x90, 0xC2, 0x10, 0x30, 0x50, 0x70, 0xB0, 0xE0, 0x00};

TEST(SerialRegisters, StatusAcknowledgeAndAbsentAxes) {
  ArmRecord record = SixAxisSerialArm();
  record.jointCount = 5;
  VirtualArm arm(record);
  arm.SetJointAngle(4, -1);
  arm.SetButton(1, true);
  arm.SetButton(3, true);
  arm.SetButton(4, true);
  arm.SetAuxiliaryRequest(true);
  EXPECT_EQ(arm.HandleSerialRequest(Bytes{0xF0, 0xE0, 0xA2, 0x92, 0x04, 0x33}),
            (Bytes{0xFC, 0x7E, 0xD8, 0x00, 0x00, 0x00}));
  // The acknowledge pair at either offset clears the request.
  EXPECT_EQ(arm.HandleSerialRequest(Bytes{0xDC, 0x0C}).size(), 2u);
  EXPECT_EQ(arm.HandleSerialRequest(Bytes{0xFC}), (Bytes{0xFE}));
  arm.SetAuxiliaryRequest(true);
  arm.HandleSerialRequest(Bytes{0xD0, 0x00});
  EXPECT_FALSE(arm.snapshot().auxiliaryRequest);
  EXPECT_EQ(arm.observations().acknowledgedInputs, (std::vector<int>{-1, -1}));
}

TEST(Faults, SpoilTheNextRepliesOnBothLinks) {
  VirtualArm arm(SevenAxisUsbArm());
  const Bytes block = Usb(arm, kReadCounts);

  ASSERT_TRUE(arm.InjectFault(Fault::Silence, 2));
  EXPECT_TRUE(Usb(arm, {0x99, 0x02}).empty());  // no reply to spoil: does not count
  EXPECT_TRUE(Usb(arm, kReadCounts).empty());
  EXPECT_TRUE(arm.HandleSerialRequest(Bytes{0x22}).empty());
  EXPECT_EQ(Usb(arm, kReadCounts), block);

  arm.InjectFault(Fault::ShortReply);
  EXPECT_EQ(Usb(arm, kReadCounts), Bytes(block.begin(), block.end() - 1));

  arm.InjectFault(Fault::WrongEcho);
  Bytes wrongEcho = block;
  wrongEcho[0] = 0xCB;
  EXPECT_EQ(Usb(arm, kReadCounts), wrongEcho);

  arm.InjectFault(Fault::CorruptBytes, kUntilCleared);
  for (int i = 0; i < 3; ++i) {
    const Bytes corrupt = Usb(arm, kReadCounts);
    ASSERT_EQ(corrupt.size(), block.size());
    EXPECT_EQ(corrupt[0], 0x34);
    for (std::size_t at = 1; at < block.size(); ++at) EXPECT_EQ(corrupt[at], block[at] ^ 0xFF);
  }
  arm.InjectFault(Fault::WrongEcho, 1);
  EXPECT_EQ(arm.HandleSerialRequest(Bytes{0xE0, 0x33}), (Bytes{0x00, 0xFF}));  // serial: inverted
  arm.InjectFault(Fault::ShortReply, kUntilCleared);
  EXPECT_EQ(arm.HandleSerialRequest(Bytes{0xE0, 0x33}), (Bytes{0xFF}));
  arm.ClearFaults();
  EXPECT_EQ(Usb(arm, kReadCounts), block);
  EXPECT_FALSE(arm.InjectFault(Fault::Silence, 0));
}

TEST(VirtualArm, RefusesOutOfRangeSettingsAndKeepsState) {
  VirtualArm arm(SixAxisSerialArm());
  EXPECT_FALSE(arm.SetJointAngle(6, 1.0));
  EXPECT_FALSE(arm.SetJointAngle(-1, 1.0));
  EXPECT_FALSE(arm.SetJointAngle(0, std::nan("")));
  EXPECT_FALSE(arm.SetJointAngle(0, 1e6));
  EXPECT_FALSE(arm.SetJointAngles(std::vector<double>(7, 0.0)));
  EXPECT_FALSE(arm.SetJointAngles(std::vector<double>{1.0, INFINITY}));
  EXPECT_FALSE(arm.SetButton(0, true));
  EXPECT_FALSE(arm.SetButton(5, true));
  EXPECT_FALSE(arm.SetSupply({0x4000, true, false}));
  EXPECT_FALSE(arm.SetFirmware({1, 10}));
  EXPECT_FALSE(arm.SetIdentifier("ABCDE"));
  EXPECT_FALSE(arm.SetIdentifier(""));
  EXPECT_FALSE(arm.SetTemperatures({0.0, NAN, 0.0}));
  EXPECT_FALSE(arm.PassReferenceMark(6));
  EXPECT_EQ(arm.jointAngles(), std::vector<double>(6, 0.0));
  EXPECT_EQ(arm.snapshot().firmware, (FirmwareVersion{1, 5}));
}

TEST(SerialSimServer, ServesWithWireTimeUntilStopped) {
  VirtualArm arm(SixAxisSerialArm());
  SerialSimServer server(arm, true);
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(server.slavePath().rfind("/dev/pts/", 0), 0u);
  // The host's end, as the driver opens it.
  SerialPort port;
  ASSERT_EQ(port.Open(server.slavePath()), 0);
  ASSERT_EQ(port.ApplyLineSettings(9600), 0);
  ASSERT_EQ(port.ApplyTimeouts({0, 5, 500}), 0);
  const auto exchange = [&port](const Bytes& request) {
    Bytes reply(request.size());
    port.Write(request);
    return port.Read(reply);
  };
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(exchange(kLiveList), kLiveList.size());
  // 22 bytes out and 22 back, 10 bits each, at 9600 baud: 45.8 ms at least.
  EXPECT_GE(Clock::now() - start, std::chrono::microseconds(45833));
  server.Stop();  // would hang here if the serving thread were not woken
  EXPECT_TRUE(server.slavePath().empty());
  EXPECT_EQ(exchange({0x04, 0x00}), 0u);  // the line is gone
  server.Stop();
  EXPECT_TRUE(server.Start());  // a stopped server can serve again
}

class ControlTest : public testing::Test {
 protected:
  VirtualArm first_{SixAxisSerialArm()};
  VirtualArm second_{SevenAxisUsbArm()};
  ControlInterpreter control_{{&first_, &second_}};
};

TEST_F(ControlTest, CommandsActOnTheSelectedArm) {
  EXPECT_EQ(control_.Execute("joint 2 -12.5"), "ok joint 2 at -12.5");
  EXPECT_EQ(control_.Execute("  arm 1 "), "ok arm 1");
  EXPECT_EQ(control_.Execute("angles 1 2 3"), "ok angles 1,2,3,0,0,0,0");
  EXPECT_EQ(first_.jointAngles(), (std::vector<double>{0, 0, -12.5, 0, 0, 0}));

  for (const char* line :
       {"button 2 down board3", "button 1 down", "aux on", "temp 20 21.5 -3",
        "calibration 900 1000 1100", "supply 700 battery nomonitor", "firmware 1.4",
        "identifier XY", "valid-reference off", "referenced off", "mark 4", "shift 1 -77",
        "mark-angle 5 30", "fault short always", "unplug"}) {
    EXPECT_EQ(control_.Execute(line).substr(0, 3), "ok ") << line;
  }
  const ArmState state = second_.snapshot();
  EXPECT_EQ(state.buttons[1], (std::array<bool, 2>{false, true}));
  EXPECT_EQ(state.buttons[0], (std::array<bool, 2>{true, true}));  // board 3 exists: both
  EXPECT_TRUE(state.auxiliaryRequest);
  EXPECT_EQ(state.temperatures, (std::array<double, 3>{20, 21.5, -3}));
  EXPECT_EQ(state.calibrationWords, (std::array<std::uint16_t, 3>{900, 1000, 1100}));
  EXPECT_EQ(state.supply, (SupplyState{700, false, true}));
  EXPECT_EQ(state.firmware, (FirmwareVersion{1, 4}));
  EXPECT_EQ(state.identifier, (std::array<char, 4>{'X', 'Y', ' ', ' '}));
  EXPECT_FALSE(state.validReference);
  EXPECT_TRUE(state.joints[4].referenced);
  EXPECT_FALSE(state.joints[3].referenced);
  EXPECT_EQ(state.joints[1].powerOnShift, -77);
  EXPECT_EQ(state.joints[5].markAngle, 30);
  EXPECT_EQ(state.faults.fault, Fault::ShortReply);
  EXPECT_FALSE(state.faults.remaining);
  EXPECT_FALSE(state.plugged);

  EXPECT_EQ(control_.Execute("plug"), "ok plugged");
  EXPECT_EQ(control_.Execute("fault echo 3"), "ok fault echo 3 replies");
  EXPECT_EQ(control_.Execute("clear"), "ok faults cleared");
  EXPECT_FALSE(second_.snapshot().faults.fault);
}

TEST_F(ControlTest, BadInputIsRefusedAndChangesNothing) {
  const ArmState before = first_.snapshot();
  // Bad commands grouped by command, and what no line of text can hold.
  const std::vector<std::string> badLines[] = {
      {"", "   ", "jump", "joint\0 1"s, "\xff\xfe", "status now", "plug in"},
      {"joint", "joint 6 1", "joint -1 1", "joint x 1", "joint 0 nan", "joint 0 inf", "joint 0 1e9",
       "joint 0 1.5.2", "joint 0 0x10"},
      {"angles 1 2 3 4 5 6 7", "angles 1 x", "arm", "arm -1", "arm 2", "arm 1 2"},
      {"button 0 down", "button 5 down", "button 1 sideways", "button 1 down board2", "aux maybe"},
      {"temp 1 2", "temp 1 2 x", "calibration 70000 1 1", "supply", "supply 16384", "supply -1",
       "supply 10 sideways", "supply 10 battery external monitor"},
      {"firmware 15", "firmware 1.45", "firmware a.b", "identifier ABCDE", "valid-reference yes",
       "mark 9", "referenced", "shift 0 1e3", "shift 0 99999999999"},
      {"fault", "fault rain", "fault short 0", "fault short -2", "fault short x"}};
  for (const auto& group : badLines) {
    for (const std::string& line : group) {
      EXPECT_EQ(control_.Execute(line).substr(0, 7), "error: ") << testing::PrintToString(line);
    }
  }
  const ArmState after = first_.snapshot();
  EXPECT_EQ(after.joints.size(), before.joints.size());
  EXPECT_EQ(first_.jointAngles(), std::vector<double>(6, 0.0));
  EXPECT_EQ(after.supply, before.supply);
  EXPECT_EQ(after.firmware, before.firmware);
  EXPECT_FALSE(after.faults.fault);
  EXPECT_EQ(control_.Execute("joint 0 1"), "ok joint 0 at 1");  // still on arm 0
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[256];
  for (ssize_t count; (count = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, count);
  return text;
}

TEST_F(ControlTest, StreamAnswersLineByLine) {
  int input[2];
  int output[2];
  ASSERT_EQ(::pipe(input), 0);
  ASSERT_EQ(::pipe(output), 0);
  const int stop = ::eventfd(0, EFD_CLOEXEC);
  const std::string lines = "joint 0 5\r\n" + std::string(5000, 'x') + "\nbogus\nstatus now\nplug";
  ASSERT_EQ(::write(input[1], lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  ::close(input[1]);
  EXPECT_EQ(ServeControlStream(control_, input[0], output[1], stop), ControlEnd::EndOfInput);
  ::close(output[1]);
  EXPECT_EQ(ReadAll(output[0]),
            "ok joint 0 at 5\n"
            "error: line longer than 4096 characters\n"
            "error: unknown command \"bogus\"; try help\n"
            "error: usage: status\n"
            "ok plugged\n");
  ::close(input[0]);
  ::close(output[0]);
  ::close(stop);
}

int Connect(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  for (int attempt = 0; attempt < 500; ++attempt) {
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the server is still binding
  }
  ::close(fd);
  return -1;
}

std::string Ask(int fd, const std::string& line) {
  const std::string request = line + "\n";
  if (::write(fd, request.data(), request.size()) < 0) return {};
  std::string answer;
  char c = 0;
  while (::read(fd, &c, 1) == 1 && c != '\n') answer += c;
  return answer;
}

TEST_F(ControlTest, SocketServesOneConnectionAfterAnother) {
  const std::string path = testing::TempDir() + "pilvo_sim_control_" + std::to_string(::getpid());
  const int stop = ::eventfd(0, EFD_CLOEXEC);
  bool served = false;
  std::thread server([&] { served = ServeControlSocket(control_, path, stop); });
  for (const char* angle : {"7", "8"}) {
    const int client = Connect(path);
    ASSERT_GE(client, 0);
    EXPECT_EQ(Ask(client, std::string("joint 3 ") + angle), std::string("ok joint 3 at ") + angle);
    ::close(client);
  }
  const std::uint64_t one = 1;
  ASSERT_EQ(::write(stop, &one, sizeof one), static_cast<ssize_t>(sizeof one));
  server.join();
  EXPECT_TRUE(served);
  EXPECT_EQ(first_.jointAngles()[3], 8.0);
  struct stat gone {};
  EXPECT_NE(::lstat(path.c_str(), &gone), 0);

  // Any other file in the way is left alone.
  std::ofstream(path) << "keep";
  EXPECT_FALSE(ServeControlSocket(control_, path, stop));
  const int kept = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(ReadAll(kept), "keep");
  ::close(kept);
  ::unlink(path.c_str());
  ::close(stop);
}

}  // namespace
}  // namespace pilvo::sim
