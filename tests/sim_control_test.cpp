// The virtual arm's control language and its two transports.
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "sim/control.h"
#include "sim/control_transport.h"

namespace pilvo::sim {
namespace {

using namespace std::string_literals;

ArmRecord Arm(int joints, int board3Axes) {
  ArmRecord record;
  record.name = "CT" + std::to_string(joints);
  record.jointCount = joints;
  record.encoderLines.fill(3600);
  record.board1Axes = joints;
  record.board3Axes = board3Axes;
  return record;
}

class ControlTest : public testing::Test {
 protected:
  VirtualArm first_{Arm(6, 0)};
  VirtualArm second_{Arm(7, 1)};
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
