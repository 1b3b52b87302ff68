// The serial port on a pseudo-terminal, and where the serial link's settings come from.
#include "link/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>
#include <vector>

#include "data/arm_record.h"
#include "data/settings.h"
#include "link/serial_settings.h"
#include "scoped_config_dir.h"

namespace pilvo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// A pseudo-terminal stands in for the serial line: the port opens the slave, the test plays the
// device on the master. The test keeps its own slave descriptor to look at the line settings.
class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(::grantpt(master_), 0);
    ASSERT_EQ(::unlockpt(master_), 0);
    slavePath_ = ::ptsname(master_);
    slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave_, 0);
    // Raw from the start, so that nothing the device sends is echoed back to it.
    termios raw{};
    ASSERT_EQ(::tcgetattr(slave_, &raw), 0);
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(slave_, TCSANOW, &raw), 0);
    ::alarm(30);  // a read that never ends kills the test rather than hanging the suite
  }
  void TearDown() override {
    ::alarm(0);
    ::close(slave_);
    ::close(master_);
  }

  // Opens the port as the link does, with short read time-outs.
  void OpenPort(SerialPort& port, SerialTimeouts timeouts = {0, 5, 200}) {
    ASSERT_EQ(port.Open(slavePath_), 0);
    ASSERT_EQ(port.ApplyLineSettings(9600), 0);
    ASSERT_EQ(port.ApplyTimeouts(timeouts), 0);
  }
  void DeviceSends(const Bytes& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

TEST_F(SerialPortTest, OpenTakesOnlyAnExistingTerminalNobodyHolds) {
  SerialPort port;
  const fs::path missing = fs::temp_directory_path() / "serial_port_test_missing";
  const fs::path regular = fs::temp_directory_path() / "serial_port_test_regular";
  std::ofstream(regular) << "data";
  for (const fs::path& refused : {missing, regular, fs::path("/dev/null")}) {
    EXPECT_EQ(port.Open(refused), -1) << refused;
    EXPECT_FALSE(port.IsOpen());
  }
  EXPECT_FALSE(fs::exists(missing));
  fs::remove(regular);

  SerialPort holder;
  ASSERT_EQ(holder.Open(slavePath_), 0);
  EXPECT_EQ(port.Open(slavePath_), -1);
  EXPECT_FALSE(port.IsOpen());
  holder.Close();
  // Another program holding the device: its lock is on another open file description.
  const int other = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  EXPECT_EQ(port.Open(slavePath_), -1);
  ::close(other);
  EXPECT_EQ(port.Open(slavePath_), 0);
}

TEST_F(SerialPortTest, LineSettingsMakeARawEightNoneOneLineAtTheCodedSpeed) {
  termios cooked{};
  ASSERT_EQ(::tcgetattr(slave_, &cooked), 0);
  cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
  cooked.c_lflag |= ICANON | ECHO;
  ASSERT_EQ(::tcsetattr(slave_, TCSANOW, &cooked), 0);

  const std::array<std::pair<std::int32_t, speed_t>, 4> cases{
      {{0, B9600}, {1, B19200}, {2, B38400}, {3, B9600}}};
  for (const auto& [speedCode, speed] : cases) {
    SerialPort port;
    ASSERT_EQ(port.Open(slavePath_), 0);
    ASSERT_EQ(port.ApplyLineSettings(BaudRateOfSpeedCode(speedCode)), 0);
    termios applied{};
    ASSERT_EQ(::tcgetattr(slave_, &applied), 0);
    EXPECT_EQ(applied.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(applied.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(applied.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(applied.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(::cfgetospeed(&applied), speed) << "speed code " << speedCode;
  }
  SerialPort port;
  ASSERT_EQ(port.Open(slavePath_), 0);
  EXPECT_EQ(port.ApplyLineSettings(115200), -3);
  EXPECT_TRUE(port.IsOpen());
}

TEST_F(SerialPortTest, BytesPassUnchangedBothWays) {
  SerialPort port;
  DeviceSends({0x55});  // left over from before the open: must not reach the reader
  OpenPort(port);
  Bytes reply{0x0D, 0x0A, 0x03, 0x11, 0x13, 0x7F, 0xFF, 0x00};
  DeviceSends(reply);
  Bytes head(5), tail(3);
  EXPECT_EQ(port.Read(head), 5u);
  EXPECT_EQ(port.Read(tail), 3u);
  head.insert(head.end(), tail.begin(), tail.end());
  EXPECT_EQ(head, reply);

  // More than the terminal buffers at once, so the writer must wait for the reader.
  Bytes request(64 * 1024);
  std::iota(request.begin(), request.end(), std::uint8_t{0});
  Bytes seen;
  std::thread device([&] {
    std::array<std::uint8_t, 4096> chunk{};
    while (seen.size() < request.size()) {
      const ssize_t count = ::read(master_, chunk.data(), chunk.size());
      if (count <= 0) break;
      seen.insert(seen.end(), chunk.begin(), chunk.begin() + count);
    }
  });
  EXPECT_EQ(port.Write(request), request.size());
  device.join();
  EXPECT_EQ(seen, request);
}

TEST_F(SerialPortTest, ReadGivesUpOnTheTotalAndIntervalTimeouts) {
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = [](int) {};
  ASSERT_EQ(::sigaction(SIGUSR1, &ignore, &previous), 0);
  // `after` the read starts the device sends `bytes`, or interrupts the reader when there are none.
  const struct {
    const char* what;
    SerialTimeouts timeouts;
    std::chrono::milliseconds after;
    Bytes bytes;
    std::chrono::milliseconds least;
  } cases[] = {
      {"a silent device, a signal half-way: 5 x 4 + 200 ms", {0, 5, 200}, 100ms, {}, 220ms},
      {"a partial reply ends on the interval, not at 5 s", {100, 0, 5000}, 0ms, {1, 2, 3}, 100ms},
      {"no total limit: the interval starts with the first byte", {50, 0, 0}, 300ms, {9}, 300ms}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SerialPort port;
    OpenPort(port, c.timeouts);
    std::thread device([&, reader = ::pthread_self()] {
      std::this_thread::sleep_for(c.after);
      if (c.bytes.empty()) {
        ::pthread_kill(reader, SIGUSR1);
      } else {
        DeviceSends(c.bytes);
      }
    });
    Bytes buffer(4);
    const auto start = Clock::now();
    const std::size_t count = port.Read(buffer);
    const auto elapsed = Clock::now() - start;
    device.join();
    EXPECT_EQ(count, c.bytes.size());
    EXPECT_GE(elapsed, c.least);
    EXPECT_LT(elapsed, c.least + 1500ms);
  }
  ::sigaction(SIGUSR1, &previous, nullptr);
}

class SerialSettingsTest : public ::testing::Test {
 protected:
  testing::ScopedConfigDir config_{"serial_settings_test"};
  const SettingsStore wizard_ = config_.Store(kWizardProfileStore);
};

TEST_F(SerialSettingsTest, PortNamesMapToDevicePaths) {
  const std::vector<std::pair<std::string_view, std::optional<std::string>>> defaults{
      {"/dev/pts/4", "/dev/pts/4"},    {"COM1", "/dev/ttyS0"},    {"com4", "/dev/ttyS3"},
      {"Com5", "/dev/ttyUSB0"},        {"COM12", "/dev/ttyUSB7"}, {"COM13", "/dev/ttyACM0"},
      {"COM20", "/dev/ttyACM7"},       {"COM21", std::nullopt},   {"COM0", std::nullopt},
      {"COM01", std::nullopt},         {"COM1x", std::nullopt},   {"COM", std::nullopt},
      {"LPT1", std::nullopt},          {"ttyS0", std::nullopt},   {"", std::nullopt},
      {"COM99999999999", std::nullopt}};
  for (const auto& [name, path] : defaults)
    EXPECT_EQ(SerialDevicePath(name, wizard_), path) << name;

  ASSERT_TRUE(WriteSettingString("SerialPorts", "COM3", "/dev/ttyUSB9", wizard_));
  ASSERT_TRUE(WriteSettingString("SerialPorts", "COM30", "/dev/rfcomm0", wizard_));
  ASSERT_TRUE(WriteSettingString("SerialPorts", "COM6", "ttyUSB1", wizard_));
  EXPECT_EQ(SerialDevicePath("com3", wizard_), "/dev/ttyUSB9");
  EXPECT_EQ(SerialDevicePath("COM30", wizard_), "/dev/rfcomm0");
  EXPECT_EQ(SerialDevicePath("COM6", wizard_), std::nullopt);
  EXPECT_EQ(SerialDevicePath("COM3", config_.Store(kLibraryProfileStore)), "/dev/ttyS2");
}

TEST_F(SerialSettingsTest, MissingTimeoutsAreWrittenBackAndAStoredZeroIsKept) {
  ASSERT_TRUE(WriteSettingInt("TIMEOUT", "ReadInterval", 0, wizard_));
  ASSERT_TRUE(WriteSettingInt("TIMEOUT", "ReadTotalConstant", 0, wizard_));
  const SerialTimeouts timeouts = ReadSerialTimeouts(wizard_);
  EXPECT_EQ(timeouts.readInterval, 0u);
  EXPECT_EQ(timeouts.readTotalMultiplier, 20u);
  EXPECT_EQ(timeouts.readTotalConstant, 0u);
  EXPECT_EQ(GetSettingString("TIMEOUT", "ReadInterval", "", wizard_), "0");
  EXPECT_EQ(GetSettingString("TIMEOUT", "ReadTotalMultiplier", "", wizard_), "20");
  EXPECT_EQ(GetSettingString("TIMEOUT", "ReadTotalConstant", "", wizard_), "0");
  ASSERT_TRUE(WriteSettingInt("TIMEOUT", "ReadInterval", 7, wizard_));
  EXPECT_EQ(ReadSerialTimeouts(wizard_).readInterval, 7u);
  EXPECT_EQ(ReadSerialTimeouts(config_.Store(kLibraryProfileStore)).readTotalConstant, 1000u);
}

}  // namespace
}  // namespace pilvo
