// Everything written to disk, made to fail at every step of the write: the function says so,
// the previous file keeps its bytes and still reads, and no temporary file stays behind.
//
// The C library calls the writers make are defined below: the statically linked core calls
// these instead of the C library's, and each passes the call on unless it is the one to fail.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "data/local_text.h"
#include "data/settings.h"
#include "data/tab_file.h"
#include "demo_arm.h"
#include "dialogs/scripted_operator.h"
#include "measure/frame_profile.h"
#include "platform/atomic_file.h"
#include "scoped_config_dir.h"
#include "session/arm_session.h"
#include "session/probe_table.h"
#include "session/tab_reading.h"

namespace pilvo::testing {
namespace {

enum class Fault { Eio, Enospc, ShortWrite, ShortWriteThenEnospc };
constexpr const char* kFaultNames[] = {"EIO", "ENOSPC", "short write", "short write, then ENOSPC"};

struct Call {
  std::string function;
  std::string path;  // the file or folder it acts on
};

// While recording, every call is logged and the failAt-th one (from 1) fails.
struct Injector {
  bool recording = false;
  std::size_t failAt = 0;
  Fault fault = Fault::Eio;
  bool failNextCall = false;
  int injected = 0;
  std::vector<Call> calls;
  std::map<int, std::string> openPaths;
};
Injector injector;

enum class Step { Pass, Fail, Short };

Step Next(const char* function, const std::string& path) {
  if (!injector.recording) return Step::Pass;
  injector.calls.push_back({function, path});
  if (injector.failNextCall) {  // a disk that filled up during a short write
    injector.failNextCall = false;
    errno = ENOSPC;
    return Step::Fail;
  }
  if (injector.calls.size() != injector.failAt) return Step::Pass;
  ++injector.injected;
  if (injector.fault == Fault::ShortWrite || injector.fault == Fault::ShortWriteThenEnospc) {
    return Step::Short;
  }
  errno = injector.fault == Fault::Eio ? EIO : ENOSPC;
  return Step::Fail;
}

std::string PathOf(int fd) {
  if (!injector.recording) return {};
  const auto found = injector.openPaths.find(fd);
  return found == injector.openPaths.end() ? "fd " + std::to_string(fd) : found->second;
}

template <typename Function>
Function* Real(const char* name) {
  return reinterpret_cast<Function*>(::dlsym(RTLD_NEXT, name));
}

}  // namespace
}  // namespace pilvo::testing

using pilvo::testing::injector;
using pilvo::testing::Next;
using pilvo::testing::PathOf;
using pilvo::testing::Real;
using pilvo::testing::Step;

extern "C" {

int open(const char* path, int flags, ...) {
  static const auto real = Real<int(const char*, int, ...)>("open");
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  if (Next("open", path) == Step::Fail) return -1;
  const int fd = real(path, flags, mode);
  if (fd >= 0 && injector.recording) injector.openPaths[fd] = path;
  return fd;
}

int mkostemp(char* pattern, int flags) {
  static const auto real = Real<int(char*, int)>("mkostemp");
  if (Next("mkostemp", pattern) == Step::Fail) return -1;
  const int fd = real(pattern, flags);
  if (fd >= 0 && injector.recording) injector.openPaths[fd] = pattern;
  return fd;
}

ssize_t write(int fd, const void* data, size_t size) {
  static const auto real = Real<ssize_t(int, const void*, size_t)>("write");
  switch (Next("write", PathOf(fd))) {
    case Step::Fail:
      return -1;
    case Step::Short:
      injector.failNextCall = injector.fault == pilvo::testing::Fault::ShortWriteThenEnospc;
      return real(fd, data, size / 2);
    case Step::Pass:
      break;
  }
  return real(fd, data, size);
}

int fchmod(int fd, mode_t mode) {
  static const auto real = Real<int(int, mode_t)>("fchmod");
  return Next("fchmod", PathOf(fd)) == Step::Fail ? -1 : real(fd, mode);
}

int fsync(int fd) {
  static const auto real = Real<int(int)>("fsync");
  return Next("fsync", PathOf(fd)) == Step::Fail ? -1 : real(fd);
}

// The descriptor is gone even when close fails, as on Linux.
int close(int fd) {
  static const auto real = Real<int(int)>("close");
  if (!injector.recording) return real(fd);
  const std::string path = PathOf(fd);
  injector.openPaths.erase(fd);
  const int result = real(fd);
  return Next("close", path) == Step::Fail ? -1 : result;
}

int rename(const char* from, const char* to) {
  static const auto real = Real<int(const char*, const char*)>("rename");
  return Next("rename", from) == Step::Fail ? -1 : real(from, to);
}

}  // extern "C"

namespace pilvo::testing {
namespace {

namespace fs = std::filesystem;

std::vector<Call> Record(const std::function<void()>& action, std::size_t failAt = 0,
                         Fault fault = Fault::Eio) {
  injector = Injector{};
  injector.recording = true;
  injector.failAt = failAt;
  injector.fault = fault;
  action();
  injector.recording = false;
  return injector.calls;
}

std::size_t IndexOf(const std::vector<Call>& calls, std::string_view function,
                    const std::string& path) {
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].function == function && calls[i].path == path) return i;
  }
  return calls.size();
}

std::set<std::string> FolderNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

std::string Bytes(const fs::path& path) {
  const auto bytes = ReadWholeFile(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : "(unreadable)";
}

std::string Join(std::span<const double> values) {
  std::string text;
  for (const double value : values) text += std::to_string(value) + " ";
  return text;
}

// What a reader of a TAB file gets: the contents it parses, written out again.
std::string TabReaderView(const fs::path& path) {
  TabContents contents;
  ScriptedOperator ui;
  std::vector<std::uint8_t> bytes;
  if (ReadTabFile(path, contents, ProductContext(Program::Wizard, {}, {}), ui) != 0 ||
      SerializeTabFile(contents, bytes) != TabWriteError::None) {
    return "(not readable)";
  }
  return std::string(bytes.begin(), bytes.end());
}

// One write to disk, and what a reader of its file and the program that wrote it then hold.
struct WriteCase {
  fs::path target;
  std::function<bool()> write;  // true when the write reports success
  std::function<std::string()> reader;
  std::function<std::string()> memory = [] { return std::string(); };
  std::function<void()> resetMemory = [] {};
};

class CrashSafety : public ::testing::Test {
 protected:
  fs::path Folder() const { return config_.path(); }

  ScopedConfigDir config_{"crash_safety_test"};
  const Language& english_ = config_.context().language();
  ScriptedOperator ui_;
  ArmSession session_{config_.context(), ui_.ports()};
};

class EveryStep : public CrashSafety, public ::testing::WithParamInterface<std::string> {
 protected:
  // Writes the case's previous file and returns the write that replaces it.
  WriteCase Prepare(const std::string& name) {
    ArmSessionState& state = session_.state();
    const fs::path profile = Folder() / "pilvo.ini";
    const SettingsStore library = config_.Store(kLibraryProfileStore);
    if (name == "SettingInt") {
      EXPECT_TRUE(WriteSettingInt("TIMEOUT", "ReadTotalConstant", 100, library));
      return {profile,
              [library] { return WriteSettingInt("TIMEOUT", "ReadTotalConstant", 25, library); },
              [library] {
                return std::to_string(GetSettingInt("TIMEOUT", "ReadTotalConstant", -1, library));
              }};
    }
    if (name == "SettingString") {
      const SettingsStore wizard = config_.Store(kWizardProfileStore);
      EXPECT_TRUE(WriteSettingString("REPORT", "BarLength", "12.5", wizard));
      return {Folder() / "registry" / "pilvowizard.ini",
              [wizard] { return WriteSettingString("REPORT", "BarLength", "20", wizard); },
              [wizard] { return GetSettingString("REPORT", "BarLength", "?", wizard); }};
    }
    if (name == "ProbeSelection") {
      EXPECT_TRUE(StoreProbeSelection(state, 12.5, library));
      return {profile,
              [&state, library] {
                state.toolInUse = 2;
                return StoreProbeSelection(state, 25.4, library);
              },
              [library] {
                return std::to_string(GetSettingInt("Tools", "toolInUse", -1, library)) +
                       GetSettingString("Data", "SphereDiameter", "?", library);
              }};
    }
    Pose first = kIdentityPose;
    Pose second = kIdentityPose;
    first[3] = 10.5;
    second[3] = -4.25;
    second[0] = second[5] = 0.5;
    if (name == "UserFrame") {
      EXPECT_TRUE(WriteUserFrame(first, {1, 2, 3}, library));
      return {profile,
              [second, library] {
                return WriteUserFrame(second, {4, 5, 6}, library);
              },
              [library] {
                Pose rotation{};
                Point3 offset{};
                ReadUserFrame(rotation, offset, library);
                return Join(rotation) + Join(offset);
              }};
    }
    if (name == "TableMatrix") {
      const SettingsStore table = config_.Store(kRotatingTableFile);
      EXPECT_TRUE(WriteTableMatrix(first, 0.5, table));
      return {profile, [second, table] { return WriteTableMatrix(second, 1.25, table); },
              [table] {
                Pose matrix{};
                double angle = 0.0;
                ReadTableMatrix(matrix, angle, table);
                return Join(matrix) + std::to_string(angle);
              }};
    }

    TabContents previous = DemoTab("usb6_quaternion");
    SignatureOfVersion(kCurrentTabVersion, previous.main.signature);
    const fs::path tab = Folder() / "arm.tab";
    EXPECT_EQ(WriteTabFile(tab, previous), TabWriteError::None);
    const auto reader = [tab] { return TabReaderView(tab); };
    if (name == "TabFile") {
      return {
          tab,
          [tab] { return WriteTabFile(tab, DemoTab("serial6_dh_marks")) == TabWriteError::None; },
          reader};
    }
    EXPECT_EQ(session_.LeggeParametri(tab), 0);
    const auto memory = [&state] {
      std::vector<std::uint8_t> bytes;
      SerializeTabFile(state.tab, bytes);
      return std::string(bytes.begin(), bytes.end());
    };
    const auto reset = [this, &state, loaded = state.tab] {
      state.tab = loaded;
      ui_.Clear();
    };
    if (name == "AddProbe") {
      return {tab,
              [this, &state, draft = *NewProbeRecord(state, 1, ui_, english_)] {
                return AddProbe(state, draft, ui_, english_);
              },
              reader, memory, reset};
    }
    return {tab, [this, &state] { return DeleteProbe(state, 1, ui_, english_).has_value(); },
            reader, memory, reset};
  }
};

// What the Nth call failing must leave: the previous file, or the new one when only the
// folder's flush after the rename failed (reported, as the new file may not survive a crash) or
// only the release of the settings lock (nothing left to lose).
struct Outcome {
  bool reported = false;
  bool newFile = false;
};

Outcome Expected(const std::vector<Call>& calls, std::size_t failAt, Fault fault,
                 std::size_t renameAt) {
  const Call& call = calls[failAt - 1];
  if (fault == Fault::ShortWrite) return {true, true};
  if (call.function == "close" && fs::path(call.path).filename() == "settings.lock") {
    return {true, true};
  }
  return {false, failAt - 1 > renameAt};
}

TEST_P(EveryStep, LeavesAWholeFileAndSaysSo) {
  const WriteCase write = Prepare(GetParam());
  ASSERT_FALSE(HasFailure());
  const std::string previousBytes = Bytes(write.target);
  const std::string previousView = write.reader();
  const std::string previousMemory = write.memory();
  const std::set<std::string> names = FolderNames(write.target.parent_path());

  bool written = false;
  const std::vector<Call> calls = Record([&] { written = write.write(); });
  ASSERT_TRUE(written);
  const std::string newBytes = Bytes(write.target);
  const std::string newView = write.reader();
  const std::string newMemory = write.memory();
  ASSERT_NE(newBytes, previousBytes);
  ASSERT_NE(newView, previousView);

  // One rename, the temporary file flushed before it and the folder after it.
  const auto isRename = [](const Call& call) { return call.function == "rename"; };
  ASSERT_EQ(std::count_if(calls.begin(), calls.end(), isRename), 1);
  const auto renameAt =
      static_cast<std::size_t>(std::find_if(calls.begin(), calls.end(), isRename) - calls.begin());
  EXPECT_LT(IndexOf(calls, "fsync", calls[renameAt].path), renameAt);
  const std::size_t folderSync = IndexOf(calls, "fsync", write.target.parent_path());
  EXPECT_GT(folderSync, renameAt);
  EXPECT_LT(folderSync, calls.size());

  for (std::size_t failAt = 1; failAt <= calls.size(); ++failAt) {
    std::vector<Fault> faults{Fault::Eio, Fault::Enospc};
    if (calls[failAt - 1].function == "write") {
      faults.insert(faults.end(), {Fault::ShortWrite, Fault::ShortWriteThenEnospc});
    }
    for (const Fault fault : faults) {
      SCOPED_TRACE(std::string(kFaultNames[static_cast<int>(fault)]) + " in call " +
                   std::to_string(failAt) + ", " + calls[failAt - 1].function + " " +
                   calls[failAt - 1].path);
      ASSERT_FALSE(WriteFileAtomically(write.target, previousBytes));
      write.resetMemory();

      Record([&] { written = write.write(); }, failAt, fault);
      ASSERT_EQ(injector.injected, 1);
      const Outcome expected = Expected(calls, failAt, fault, renameAt);
      EXPECT_EQ(written, expected.reported);
      EXPECT_EQ(Bytes(write.target), expected.newFile ? newBytes : previousBytes);
      EXPECT_EQ(write.reader(), expected.newFile ? newView : previousView);
      EXPECT_EQ(write.memory(), written ? newMemory : previousMemory);
      EXPECT_EQ(FolderNames(write.target.parent_path()), names);
      if (!write.memory().empty() && !written) {
        ASSERT_EQ(ui_.requests().size(), 1u);
        EXPECT_EQ(ui_.requests()[0].text, LocalText(2437, english_));
      } else {
        EXPECT_TRUE(ui_.requests().empty());
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, EveryStep,
                         ::testing::Values("TabFile", "AddProbe", "DeleteProbe", "SettingInt",
                                           "SettingString", "ProbeSelection", "UserFrame",
                                           "TableMatrix"),
                         [](const auto& writer) { return writer.param; });

// The TAB tool as its users run it, its output on a disk that fills up: a file-size limit plays
// the full disk through the real kernel (the write stops short, then fails with EFBIG).
struct ToolResult {
  int exitCode = -1;
  std::string errors;
};

ToolResult RunTool(const std::vector<std::string>& arguments, rlim_t room,
                   const char* output = "/dev/null") {
  int errors[2];
  if (::pipe(errors) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(errors[1], STDERR_FILENO);
    ::dup2(::open(output, O_WRONLY), STDOUT_FILENO);
    const rlimit limit{room, room};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, SIG_IGN);
    std::vector<char*> argv{const_cast<char*>(PILVO_TAB_TOOL)};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.data()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(errors[1]);
  ToolResult result;
  char buffer[256];
  for (ssize_t got; (got = ::read(errors[0], buffer, sizeof buffer)) > 0;) {
    result.errors.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(errors[0]);
  int status = 0;
  if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  }
  return result;
}

TEST_F(CrashSafety, TabToolKeepsItsPreviousOutputOnAFullDisk) {
  TabContents old = DemoTab("usb6_quaternion");
  SignatureOfVersion(40, old.main.signature);
  const fs::path oldTab = Folder() / "old.tab";
  const fs::path outTab = Folder() / "out.tab";
  const fs::path outJson = Folder() / "out.json";
  const std::string json = std::string(PILVO_DEMO_JSON_DIR) + "/usb6_quaternion.json";
  const std::vector<std::pair<std::vector<std::string>, fs::path>> runs{
      {{"upgrade", oldTab}, oldTab},
      {{"from-json", json, "-o", outTab}, outTab},
      {{"to-json", oldTab, "-o", outJson}, outJson},
  };
  for (const auto& [arguments, output] : runs) {
    SCOPED_TRACE(arguments[0]);
    ASSERT_EQ(WriteTabFile(oldTab, old), TabWriteError::None);
    ASSERT_EQ(WriteTabFile(outTab, DemoTab("five_joint")), TabWriteError::None);
    ASSERT_FALSE(WriteFileAtomically(outJson, std::string_view("previous\n")));
    const std::string previous = Bytes(output);
    const std::set<std::string> names = FolderNames(Folder());

    const ToolResult full = RunTool(arguments, 64);
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(full.errors, "pilvo-tab: " + output.string() + ": cannot be written\n");
    EXPECT_EQ(Bytes(output), previous);
    EXPECT_EQ(FolderNames(Folder()), names);
    if (output.extension() == ".tab") {
      EXPECT_NE(TabReaderView(output), "(not readable)");
    }

    EXPECT_EQ(RunTool(arguments, RLIM_INFINITY).exitCode, 0);
    EXPECT_NE(Bytes(output), previous);
  }

  const ToolResult toFullOutput = RunTool({"to-json", oldTab}, RLIM_INFINITY, "/dev/full");
  EXPECT_EQ(toFullOutput.exitCode, 1);
  EXPECT_EQ(toFullOutput.errors, "pilvo-tab: standard output cannot be written\n");
}

}  // namespace
}  // namespace pilvo::testing
