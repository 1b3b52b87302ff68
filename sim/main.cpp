// pilvo-sim: the virtual arm. Serves arms read from TAB files on a pseudo-terminal (serial) and
// on the USB simulator socket, and takes control commands until its control input ends or it
// is told to stop.
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "data/tab_file.h"
#include "platform/atomic_file.h"
#include "sim/control_transport.h"
#include "sim/demo_motion.h"
#include "sim/serial_server.h"
#include "sim/unique_fd.h"
#include "sim/usb_server.h"
#include "sim/usb_wire.h"

namespace pilvo::sim {
namespace {

// The longest serial device name the host can store.
constexpr std::size_t kMaxPortNameLength = 11;

class StartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

ArmRecord LoadArm(const std::string& path) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) throw StartError(path + ": cannot be read");
  TabContents contents;
  switch (ParseTabFile(*bytes, contents)) {
    case TabError::None:
      return contents.main;
    case TabError::LaterVersion:
      throw StartError(path + ": written by a later version of the software");
    case TabError::NotValid:
      break;
  }
  throw StartError(path + ": not a valid TAB file");
}

FirmwareVersion ParseFirmware(const std::string& text) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (text.size() != 3 || !digit(text[0]) || text[1] != '.' || !digit(text[2])) {
    throw StartError("--firmware " + text + ": expected a digit, a point and a digit, e.g. 1.4");
  }
  return FirmwareVersion{text[0] - '0', text[2] - '0'};
}

// A symbolic link at `path` to the pseudo-terminal, replacing an older link but no other file;
// removed again when the simulator ends.
class SerialLink {
 public:
  SerialLink(std::string path, const std::string& target) : path_(std::move(path)) {
    struct stat existing {};
    if (::lstat(path_.c_str(), &existing) == 0) {
      if (!S_ISLNK(existing.st_mode)) {
        throw StartError(path_ + ": exists and is not a symbolic link; not replaced");
      }
      ::unlink(path_.c_str());
    }
    if (::symlink(target.c_str(), path_.c_str()) != 0) throw StartError(SystemError(path_));
  }
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;
  ~SerialLink() { ::unlink(path_.c_str()); }

 private:
  std::string path_;
};

struct Settings {
  std::vector<std::string> tabs;
  bool serial = false;
  std::string serialLink;
  std::string usbSocket;
  std::string control;
  bool wireTime = false;
  std::string firmware = "1.5";
  bool unreferenced = false;
  bool demo = false;
};

void WaitForStop(int stopFd) {
  pollfd entry{stopFd, POLLIN, 0};
  while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
  }
}

int Run(const Settings& settings) {
  VirtualArmOptions options;
  options.firmware = ParseFirmware(settings.firmware);
  options.referenced = !settings.unreferenced;
  std::vector<std::unique_ptr<VirtualArm>> arms;
  std::vector<VirtualArm*> armPointers;
  for (const std::string& path : settings.tabs) {
    arms.push_back(std::make_unique<VirtualArm>(LoadArm(path), options));
    armPointers.push_back(arms.back().get());
  }

  // Blocked before any thread starts, so that only the signalfd ever sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  const UniqueFd stopFd(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
  if (!stopFd.valid()) throw StartError(SystemError("signalfd"));

  SerialSimServer serial(*arms.front(), settings.wireTime);
  std::optional<SerialLink> serialLink;
  if (settings.serial) {
    if (!serial.Start()) throw StartError(SystemError("cannot create a pseudo-terminal"));
    if (serial.slavePath().size() > kMaxPortNameLength) {
      std::cerr << "pilvo-sim: warning: " << serial.slavePath() << " is longer than "
                << kMaxPortNameLength << " characters; give --serial-link a shorter path\n";
    }
    if (!settings.serialLink.empty()) serialLink.emplace(settings.serialLink, serial.slavePath());
    std::cout << serial.slavePath() << std::endl;
  }

  UsbSimServer usb(armPointers, settings.usbSocket);
  if (!settings.usbSocket.empty()) {
    if (!usb.Start()) throw StartError(settings.usbSocket + ": cannot serve USB there");
    std::cerr << "pilvo-sim: " << arms.size() << " arm(s) on USB at " << settings.usbSocket << '\n';
  }

  // Stopped and joined before the servers and the arms go.
  std::jthread demo;
  if (settings.demo) demo = std::jthread(RunDemo, armPointers);

  ControlInterpreter interpreter(armPointers);
  if (settings.control == "stdin") {
    ServeControlStream(interpreter, STDIN_FILENO, STDOUT_FILENO, stopFd.get());
  } else if (!settings.control.empty()) {
    if (!ServeControlSocket(interpreter, settings.control, stopFd.get())) {
      throw StartError(SystemError(settings.control));
    }
  } else {
    WaitForStop(stopFd.get());
  }
  demo = {};
  usb.Stop();
  serial.Stop();
  return 0;
}

constexpr const char* kExamples =
    R"(Control commands (one per line, each answered by one line "ok ..." or "error: ..."):
  arm N         select arm N (0 = the first --tab)
  joint J DEG   angles D0 D1 ...    mark J    mark-angle J DEG    referenced on|off
  shift J COUNTS (power-on shift of an unreferenced counter)    valid-reference on|off
  button B down|up [board1|board3|both]   (B = 1 to 3, 4 = the extra serial button)
  aux on|off    temp T0 T1 T2    calibration W1 W2 W3    firmware 1.4    identifier ABCD
  supply R [battery|external] [monitor|nomonitor]   (R = 14-bit reading, 5/256 V a unit)
  unplug    plug    fault silence|short|echo|corrupt [COUNT|always]    clear    status    help
Joints are numbered from 0. A joint passes its reference mark when it moves onto or across
its mark angle (0 degrees unless set) from the other side, or with "mark J".

Examples:
  pilvo-sim --tab build/demo/serial6_dh_marks.tab --serial --control stdin
  pilvo-sim --tab arm.tab --serial --serial-link /tmp/ttyARM --wire-time --unreferenced
  pilvo-sim --tab arm.tab --serial --serial-link /tmp/ttyARM --unreferenced --demo
  pilvo-sim --tab a.tab --tab b.tab --usb-socket "$PILVO_SIM_USB_SOCKET" --control /tmp/sim.ctl
  echo "joint 1 30" | socat - UNIX-CONNECT:/tmp/sim.ctl)";

}  // namespace
}  // namespace pilvo::sim

int main(int argc, char** argv) {
  using namespace pilvo::sim;
  CLI::App app{
      "pilvo-sim: the virtual Pilvo3D arm. Answers the arm board protocol on a "
      "pseudo-terminal (serial) and on the USB simulator socket, for the driver, the "
      "wizard and the tests."};
  app.footer(kExamples);
  Settings settings;
  app.add_option("--tab", settings.tabs,
                 "TAB file of an arm; repeat for several arms. The first is also the serial arm")
      ->required();
  auto* serial = app.add_flag("--serial", settings.serial,
                              "Serve the first arm on a pseudo-terminal and print its device "
                              "path (e.g. /dev/pts/7) as the first line of standard output");
  app.add_option("--serial-link", settings.serialLink,
                 "Also make a symbolic link at this path to the pseudo-terminal")
      ->needs(serial);
  app.add_option("--usb-socket", settings.usbSocket,
                 "Serve every arm over USB on this Unix socket, for the simulator flavour of the "
                 "USB access library (which looks at " +
                     wire::UsbSocketPath() + ", or $PILVO_SIM_USB_SOCKET)");
  app.add_option("--control", settings.control,
                 "Read control commands from standard input (\"stdin\": the simulator ends at "
                 "its end) or from connections to a Unix socket at this path");
  app.add_flag("--wire-time", settings.wireTime,
               "Hold each serial reply back for its time on a real line at the arm's baud rate")
      ->needs(serial);
  app.add_option("--firmware", settings.firmware,
                 "Firmware version of the boards, e.g. 1.4 (48-byte counts) or 1.5 (with supply)")
      ->capture_default_str();
  app.add_flag("--unreferenced", settings.unreferenced,
               "Start with every joint unreferenced and no valid reference held in the board");
  app.add_flag("--demo", settings.demo,
               "Move the arms by themselves: each turns its joints over their reference marks "
               "(arms with marks), then travels through its workspace and takes a point with "
               "button 1 now and then. A command that moves an arm or its button 1 takes the arm "
               "over until it has been left alone for 5 s");
  CLI11_PARSE(app, argc, argv);
  try {
    return Run(settings);
  } catch (const StartError& error) {
    std::cerr << "pilvo-sim: " << error.what() << '\n';
    return 1;
  }
}
