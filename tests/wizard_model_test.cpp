// The wizard's Qt-free models: the TAB information rows, the battery monitor and its log, and
// the serial port choice with the detection of an arm on a port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <sstream>
#include <stop_token>
#include <thread>

#include "data/number_text.h"
#include "data/settings.h"
#include "sim_session_fixture.h"
#include "wizard/model/battery_monitor.h"
#include "wizard/model/demo_arm.h"
#include "wizard/model/main_window.h"
#include "wizard/model/port_detection.h"
#include "wizard/model/tab_info.h"

namespace pilvo::wizard {
namespace {

// The rows' values, each ended by '|'.
std::string Values(const ArmRecord& asRead, const ArmRecord& working) {
  std::string values;
  for (const TabInfoRow& row : TabInfoRows(asRead, working, Language())) values += row.value + "|";
  return values;
}

TEST(TabInfoTest, RowsShowTheRecordAsReadAndTheWorkingOneWhereItMatters) {
  ArmRecord plain;
  plain.signature = {'t', '4', '4', '\0'};
  plain.jointCount = 6;
  EXPECT_EQ(Values(plain, plain), "t44|6|Rest|-|-|-|COM: 9.600, 8, 1, NO|-|-|-|-|-|-|-|");
  EXPECT_EQ(TabInfoRows(plain, plain, Language()).front().parameter, "Version");

  ArmRecord full = plain;
  full.options.referenceMarks = full.options.resetDialog = true;
  full.options.statusBit7Button = full.options.auxiliaryInput0 = true;
  full.options.auxiliaryInput1 = full.options.insertedAxis = true;
  full.options.probeMode = full.options.temperatureCompensation = true;
  full.linkType = full.spareWord = 1;
  full.batteryPresent = 3;
  ArmRecord working = full;
  working.options.board3ThirdAxisCompanion = true;
  working.jointLimits[0] = {-10.0, 0.0};
  working.jointLimits[2] = {0.0, 5.0};
  EXPECT_EQ(Values(full, working),
            "t44|6|Mark + Dialog|Enabled|Enabled|Enabled (ECU)|USB|Enabled|Enabled|Enabled|"
            "Enabled (not available)|Enabled|3|1 3 |");

  // The rows that read the working record, and the speeds.
  full.options = {};
  full.options.referenceMarks = true;
  full.linkType = 0;
  working.options.auxiliaryInput2 = working.options.board3ThirdAxis = true;
  for (const auto& [code, text] : std::vector<std::pair<int, std::string>>{
           {1, "COM: 19.200, 8, 1, NO"}, {2, "COM: 38.400, 8, 1, NO"}, {7, " ?"}}) {
    working.serialSpeedCode = code;
    EXPECT_EQ(Values(full, working),
              "t44|6|Mark|-|-|Enabled (Probe)|" + text + "|-|-|-|Enabled|Enabled|3|1 3 |");
  }
}

TEST(BatteryMonitorTest, SupplyFieldAndBarFollowTheBoard) {
  const struct {
    PowerState power;
    std::string field;
    std::optional<int> bar;
    std::string status;
  } cases[] = {
      {{15, 1, true, 512.0}, "10.00V B", 512, "charge"},
      {{15, 1, false, 640.4}, "12.51V P", 0, "Arm connect"},
      {{15, 0, false, 640.0}, "11.90V", 0, "Arm connect"},  // no battery: the board's voltage
      {{14, 1, true, 512.0}, " -", std::nullopt, ""},       // the board reports no supply
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PowerSupplyField(c.power, "11.90V"), c.field);
    const auto bar = BatteryBar(c.power, "charge", Language());
    EXPECT_EQ(bar ? std::optional(std::pair(bar->position, bar->status)) : std::nullopt,
              c.bar ? std::optional(std::pair(*c.bar, c.status)) : std::nullopt)
        << c.field;
  }
}

TEST(BatteryMonitorTest, LogTakesALinePerIntervalStartingAtTheFirstTick) {
  const auto folder = std::filesystem::path(::testing::TempDir()) / "battery_log";
  std::filesystem::remove_all(folder);
  const std::time_t when = 1700000000;

  BatteryLog log(5, folder / "Kelmorad" / "logBattery.txt");
  ASSERT_TRUE(log.Start(when));
  EXPECT_TRUE(log.LineIfDue(4'000'000'000u, 640.0, when));  // first tick, whatever the clock
  EXPECT_FALSE(log.LineIfDue(4'000'005'000u, 640.0, when));
  const auto line = log.LineIfDue(4'000'005'001u, 512.0, when);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->substr(line->find('\t')), "\t10.00");
  log.Stop();
  std::ostringstream text;
  text << std::ifstream(log.path()).rdbuf();
  EXPECT_EQ(text.str().rfind("Pilvo3D battery log: ", 0), 0u);
  EXPECT_NE(text.str().find(", 2023\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("\t12.50\n"), std::string::npos) << text.str();

  for (const auto& [seconds, path] : {std::pair{0, folder / "off.txt"},
                                      {-5, folder / "off.txt"},
                                      {5, log.path() / "cannot.txt"}}) {  // no folder under a file
    BatteryLog off(seconds, path);
    EXPECT_FALSE(off.Start(when));
    EXPECT_EQ(off.seconds(), 0);
    EXPECT_FALSE(off.LineIfDue(1, 1.0, when));
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "off.txt"));
}

TEST(PortSelectionTest, OnlyPortsOpenableAtTheStartAreTriedAndNoLineKeepsThePort) {
  const Language english;  // held by the selection
  PortSelection selection(
      4, [](int port) { return port == 2 || port == 5 || port == 7; },
      [](int port) {
        return port <= 4 ? std::optional("/dev/ttyS" + std::to_string(port - 1)) : std::nullopt;
      },
      english);
  ASSERT_EQ(selection.lines().size(), 20u);
  std::vector<int> tried;
  std::vector<int> progress;
  selection.Detect(
      [&](int port) {
        tried.push_back(port);
        return port == 2 ? PortDevice::Modem : port == 5 ? PortDevice::Arm : PortDevice::Unknown;
      },
      [&](int port) { progress.push_back(port); });
  EXPECT_EQ(tried, (std::vector<int>{2, 5, 7}));
  EXPECT_EQ(progress.size(), 20u);
  std::string lines;
  for (int line : {1, 2, 4, 6, 9}) {
    const PortLine& shown = selection.lines()[line];
    lines += shown.port + "," + shown.path + "," + shown.state + "," + shown.device + "|";
  }
  EXPECT_EQ(lines,
            "COM2,/dev/ttyS1,Enabled,Modem|COM3,/dev/ttyS2, -, -|COM5, -,Enabled,Detected|"
            "COM7, -,Enabled, -|COM10, -, -, -|");

  EXPECT_EQ(selection.Accept(std::nullopt), 4);
  for (const int outside : {-1, 20}) EXPECT_EQ(selection.Accept(outside), 4);
  EXPECT_EQ(selection.Accept(19), 19);
  for (const auto& [text, index] : std::vector<std::pair<std::string, int>>{
           {"COM1", 0}, {"COM12", 11}, {"COM0", 0}, {"/dev/ttyUSB0", 0}, {"", 0}}) {
    EXPECT_EQ(PortIndexOf(text), index) << text;
  }
  EXPECT_EQ(PortName(11), "COM12");
}

// A modem on a line: whatever is written to it comes back.
class EchoLine {
 public:
  EchoLine() : master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
    EXPECT_TRUE(master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0);
    path_ = ::ptsname(master_);
    echo_ = std::jthread([this](const std::stop_token& stop) {
      std::array<char, 64> bytes{};
      while (!stop.stop_requested()) {
        pollfd line{master_, POLLIN, 0};
        // Nobody has the line open yet: it reads as hung up, so wait rather than spin.
        if (::poll(&line, 1, 20) <= 0 || (line.revents & POLLIN) == 0) {
          ::usleep(5000);
          continue;
        }
        const ssize_t read = ::read(master_, bytes.data(), bytes.size());
        if (read > 0) {
          EXPECT_EQ(::write(master_, bytes.data(), std::size_t(read)), read);
        }
      }
    });
  }
  ~EchoLine() {
    echo_.request_stop();
    echo_.join();
    ::close(master_);
  }
  const std::string& path() const { return path_; }

 private:
  int master_;
  std::string path_;
  std::jthread echo_;
};

class PortDetectionTest : public testing::SimSessionTest {};

TEST_F(PortDetectionTest, AnArmAnswersTheEchoTestAModemRepeatsItAndAnEmptyPortIsNothing) {
  const TabContents contents = testing::PlainDemoTab("serial6_dh_marks");
  Connect(contents, testing::Link::Serial, Program::Wizard);
  const SettingsStore store = session_->profileStore();
  EchoLine modem;
  const std::string paths[] = {serial_->slavePath(), (folder_ / "none").string(), modem.path()};
  for (int port = 3; port <= 5; ++port) {
    ASSERT_TRUE(
        WriteSettingString("SerialPorts", "COM" + std::to_string(port), paths[port - 3], store));
  }
  EXPECT_TRUE(PortCanBeOpened(3, store));
  EXPECT_FALSE(PortCanBeOpened(4, store));
  EXPECT_TRUE(PortCanBeOpened(5, store));

  const auto tab = Save(contents, "detect.tab");
  // A modem repeats every request: the reset at rest cannot tell it from an arm, the echo test
  // can.
  const PortDevice expected[] = {PortDevice::Arm, PortDevice::Unknown, PortDevice::Modem};
  for (int port = 3; port <= 5; ++port) {
    EXPECT_EQ(DetectArmOnPort(*session_, port, tab), expected[port - 3]) << port;
    EXPECT_FALSE(session_->link().IsOpen());
  }
}

// The main window over the wizard's own session and the in-process virtual arm.
class MainWindowTest : public testing::SimSessionTest {
 protected:
  void Open(TabContents contents, testing::Link link, bool referenceMarks = false) {
    wire_ = testing::Wire::InProcess;
    contents.main.options.referenceMarks = referenceMarks;
    Connect(contents, link, Program::Wizard);
    MakeWindow();
  }
  void MakeWindow() {
    window_ = std::make_unique<MainWindow>(
        *session_, context_.language(),
        [this](const std::string& proposed, const std::filesystem::path&) {
          proposedName_ = proposed;
          return saveAs_;
        },
        folder_ / "logBattery.txt");
  }
  const MainDisplay& shown() const { return window_->display(); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& request : ui_.requests()) {
      if (request.kind == ScriptedOperator::Request::Kind::Message) texts.push_back(request.text);
    }
    return texts;
  }
  std::string Stored(const char* section) const {
    return GetSettingString(section, "Nome", "", Store(kProductStore));
  }

  std::unique_ptr<MainWindow> window_;
  std::optional<std::filesystem::path> saveAs_;
  std::string proposedName_;
};

TEST_F(MainWindowTest, StartAsksForATabFileAndChangeLoadsIt) {
  Open(testing::PlainDemoTab("usb6_quaternion"), testing::Link::Usb);
  ui_.ScriptFile(std::nullopt);
  window_->Start();
  EXPECT_EQ(Messages(), std::vector<std::string>{"Choose the parameters TAB file."});
  EXPECT_EQ(shown().tabVersion, "");
  EXPECT_EQ(shown().position[0], " - - -");
  EXPECT_FALSE(shown().menu.procedures);

  ui_.ScriptFile(state().tabPath);
  window_->ChangeTab();
  EXPECT_EQ(shown().tabVersion + shown().port + shown().menu.connectionItem, "t44USBDetect");
  EXPECT_EQ(Stored("TAB"), state().tabPath);
  ASSERT_TRUE(window_->TabInfo());
  EXPECT_EQ(window_->TabInfo()->size(), 14u);
  window_->ChooseLanguage(kItalian);
  EXPECT_EQ(GetSettingInt("Language", "Code", 0, Store(kProductStore)), 1u);
  window_->ChoosePort(2);
  EXPECT_EQ(Stored("Porta seriale"), "COM3");
}

TEST_F(MainWindowTest, ConnectedWindowShowsTheArmAtEveryTick) {
  Open(testing::PlainDemoTab("usb6_quaternion"), testing::Link::Usb);
  WriteSettingString("TAB", "Nome", state().tabPath, Store(kProductStore));
  WriteSettingInt("BatteryLog", "Enable", 5, Store(kProductStore));
  window_->Start();
  ASSERT_TRUE(window_->Connect(1700000000));
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].rfind("Execute the reset procedure for the arm:\n ", 0), 0u);
  EXPECT_EQ(messages[1], "_Battery log enabled: " + (folder_ / "logBattery.txt").string());
  EXPECT_EQ(shown().status, "Arm connect");
  EXPECT_EQ(shown().presence[0], "Present");
  EXPECT_EQ(shown().serialNumber, "PA60");
  EXPECT_EQ(shown().trayTip, "PilvoWIZARD\nPA60 demo 6-axis USB: Arm connect");
  EXPECT_EQ(shown().probeInUse, "Factory calibration");
  EXPECT_FALSE(shown().menu.tabChange);

  now_ += 100;
  ASSERT_TRUE(window_->Tick(1700000000));
  Pose pose{};
  std::int32_t status = 0;
  double diameter = 0.0;
  ASSERT_EQ(session_->LeggeQuota2(pose, status, diameter), 0);
  EXPECT_EQ(shown().position[2], FixedText(pose[11], 3));
  EXPECT_EQ(shown().probeDiameter, FixedText(diameter, 3));
  EXPECT_EQ(shown().counts.size(), 6u);
  EXPECT_NE(shown().voltages[0], " -");
  EXPECT_NE(shown().temperatures[0], " -");
  EXPECT_EQ(shown().communicationTime, "0/100");
  EXPECT_EQ(shown().communicationLabel.find('\t'), 8u) << "the log line replaces the label";
  EXPECT_TRUE(std::filesystem::exists(folder_ / "logBattery.txt"));

  Hold({1});
  ASSERT_TRUE(window_->Tick(1700000000));
  EXPECT_EQ(shown().buttonIcons, static_cast<std::uint32_t>(reading_status::kButton1));
  arm_->InjectFault(sim::Fault::Silence, sim::kUntilCleared);
  EXPECT_FALSE(window_->Tick(1700000000));
  EXPECT_EQ(Messages().back(), "Communication error.");
  EXPECT_EQ(shown().counts[0], " - - -");
  EXPECT_TRUE(shown().menu.tabChange);
}

TEST_F(MainWindowTest, OldFileIsOfferedItsUpgradeAndFailedResetsExplainThemselves) {
  TabContents old = testing::PlainDemoTab("usb6_quaternion");
  SignatureOfVersion(42, old.main.signature);
  armOptions_.referenced = false;
  Open(old, testing::Link::Usb, true);
  WriteSettingString("TAB", "Nome", state().tabPath, Store(kProductStore));
  window_->Start();
  window_->ChooseReset(true);
  ui_.ScriptAnswer(false);  // declined: the reset goes on with the file as it is
  EXPECT_FALSE(window_->Connect(0));
  ASSERT_FALSE(Messages().empty());
  EXPECT_EQ(std::tuple(proposedName_, Messages().back()),
            std::tuple("", "ERROR n° -4:\nReset with reference mark cancelled"));

  ui_.ScriptAnswer(true);
  saveAs_ = folder_ / "cannot" / "be.tab";
  EXPECT_FALSE(window_->Connect(0));
  EXPECT_EQ(proposedName_, "PA60_44.tab");
  EXPECT_EQ(Messages().back(), "_error in TAB file saving");

  ui_.ScriptAnswer(true);
  saveAs_ = folder_ / "upgraded.tab";
  // The reset dialog, with no mark passed, is cancelled.
  EXPECT_FALSE(window_->Connect(0));
  EXPECT_EQ(OnDisk().main.signature, (std::array<char, 4>{'t', '4', '4', '\0'}));
  EXPECT_EQ(Stored("TAB"), (folder_ / "upgraded.tab").string());
  EXPECT_EQ(Messages().back(), "ERROR n° -4:\nReset with reference mark cancelled");
  EXPECT_FALSE(shown().connected);
}

TEST_F(MainWindowTest, DemoArmStandsBehindTheLinkAndMovesByItself) {
  TabContents contents = testing::PlainDemoTab("serial6_dh_marks");
  contents.main.options.referenceMarks = false;
  Load(contents, Program::Wizard);  // no arm is attached
  MakeWindow();
  DemoArm demo(*session_);
  window_->PrepareArmWith([&demo](const std::filesystem::path& tab) { demo.Attach(tab); });
  WriteSettingString("TAB", "Nome", state().tabPath, Store(kProductStore));
  window_->Start();
  ASSERT_TRUE(window_->Connect(0));
  ASSERT_TRUE(window_->Tick(0));
  const auto before = shown().position;
  for (int step = 0; step < 100; ++step) demo.Step();
  ASSERT_TRUE(window_->Tick(0));
  EXPECT_NE(shown().position, before);
}

}  // namespace
}  // namespace pilvo::wizard
