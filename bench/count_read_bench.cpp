// One encoder read over a pseudo-terminal: the driver against the virtual arm, and the same
// bytes moved by a bare write/read with an immediate echo on the other side. The difference is
// what the driver and the arm model add to the wire. Then the whole reading that a client polls,
// with the arm at rest and with the arm jumping between readings as no hand can move it (so that
// every board read is judged suspect and read again), and what judging a board read costs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <thread>

#include "allocation_counter.h"
#include "data/settings.h"
#include "data/tab_file.h"
#include "dialogs/scripted_operator.h"
#include "link/arm_board.h"
#include "link/arm_link.h"
#include "measure/kinematics.h"
#include "measure/reading_plausibility.h"
#include "session/arm_session.h"
#include "session/tab_reading.h"
#include "sim/serial_server.h"
#include "sim/virtual_arm.h"

namespace pilvo {
namespace {

ArmRecord SerialDemoArm() {
  TabContents contents;
  ScriptedOperator quiet;
  ReadTabFile(std::filesystem::path(PILVO_DEMO_DIR) / "serial6_dh_marks.tab", contents,
              ProductContext(Program::Wizard, {}, {}), quiet);
  return contents.main;
}

void MakeRaw(int fd) {
  termios settings{};
  ::tcgetattr(fd, &settings);
  ::cfmakeraw(&settings);
  ::tcsetattr(fd, TCSANOW, &settings);
}

// Reads exactly `size` bytes.
bool ReadExactly(int fd, std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 1000) <= 0) return false;
    const ssize_t got = ::read(fd, data, size);
    if (got <= 0) return false;
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

void BM_BarePtyRoundTrip(benchmark::State& state) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ::grantpt(master);
  ::unlockpt(master);
  const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  MakeRaw(master);
  MakeRaw(slave);
  const std::size_t length = BuildSerialRegisterList(SerialDemoArm(), 0).length;
  std::atomic<bool> running = true;
  std::thread echo([&] {
    std::vector<std::uint8_t> bytes(length);
    while (running && ReadExactly(master, bytes.data(), length)) {
      if (::write(master, bytes.data(), length) < 0) break;
    }
  });
  std::vector<std::uint8_t> request(length, 0x20);
  std::vector<std::uint8_t> reply(length);
  for (auto _ : state) {
    if (::write(slave, request.data(), length) < 0 || !ReadExactly(slave, reply.data(), length)) {
      state.SkipWithError("pseudo-terminal failed");
      break;
    }
  }
  running = false;
  ::close(slave);
  ::close(master);
  echo.join();
}
BENCHMARK(BM_BarePtyRoundTrip)->UseRealTime();

void BM_DriverCountRead(benchmark::State& state) {
  const std::string folder = "/tmp/pilvo_bench_settings_" + std::to_string(::getpid());
  const ProductContext context(Program::Library, folder, {});
  ArmRecord record = SerialDemoArm();
  sim::VirtualArm arm(record);
  sim::SerialSimServer server(arm);
  if (!server.Start()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  const JointTables tables = DeriveJointTables(record);
  ArmLink link(record, context);
  ArmBoard board(link, record, tables);
  link.SetPortName(server.slavePath());
  board.BuildSerialRequest(0);
  CountList counts{};
  board.ReadArmCounts(counts);  // opens the link
  const std::uint64_t allocationsBefore = bench::AllocationsOnThisThread();
  for (auto _ : state) {
    if (board.ReadArmCounts(counts) != 0) {
      state.SkipWithError("count read failed");
      break;
    }
  }
  state.counters["allocations_per_read"] =
      benchmark::Counter(static_cast<double>(bench::AllocationsOnThisThread() - allocationsBefore),
                         benchmark::Counter::kAvgIterations);
  link.ChiudePorta();
  server.Stop();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_DriverCountRead)->UseRealTime();

// LeggeQuota on the serial demo arm. The arm is set before every reading: to the same angle, or
// a quarter turn of joint 0 away from the last.
void BM_SessionReading(benchmark::State& state, bool jumping) {
  const std::string folder = "/tmp/pilvo_bench_settings_" + std::to_string(::getpid());
  const ProductContext context(Program::Library, folder, {});
  ScriptedOperator ui;
  ArmSession session(context, ui.ports());
  if (session.LeggeParametri(std::filesystem::path(PILVO_DEMO_DIR) / "serial6_dh_marks.tab") != 0) {
    state.SkipWithError("demo arm missing");
    return;
  }
  sim::VirtualArm arm(session.state().working);
  sim::SerialSimServer server(arm);
  if (!server.Start()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  session.link().SetPortName(server.slavePath());
  Pose pose{};
  std::int32_t status = 0;
  session.LeggeQuota(pose, status);  // opens the link
  double angle = 0.0;
  for (auto _ : state) {
    if (jumping) angle = 90.0 - angle;
    arm.SetJointAngle(0, angle);
    if (session.LeggeQuota(pose, status) != 0) {
      state.SkipWithError("reading failed");
      break;
    }
  }
  session.link().ChiudePorta();
  server.Stop();
  std::filesystem::remove_all(folder);
}
BENCHMARK_CAPTURE(BM_SessionReading, arm_at_rest, false)->UseRealTime();
BENCHMARK_CAPTURE(BM_SessionReading, arm_jumping, true)->UseRealTime();

// What judging a board read adds to a reading when nothing is suspect: the clock, the
// comparison with the last reading taken, and taking this one.
void BM_ReadingJudgement(benchmark::State& state) {
  const std::array<double, kMaxJoints> countsPerDegree = CountsPerDegree(SerialDemoArm());
  const auto joints = std::span<const double>(countsPerDegree).first(6);
  std::array<double, kMaxJoints> values = {1000.0, -2000.0, 3000.0, 400.0, 500.0, -600.0};
  ReadingPlausibility last;
  last.Take(values, SteadyMilliseconds());
  for (auto _ : state) {
    values[0] = values[0] == 1000.0 ? 1001.0 : 1000.0;  // a joint trembling in the hand
    const std::uint32_t now = SteadyMilliseconds();
    if (!last.Plausible(values, now, joints)) {
      state.SkipWithError("an unmoving arm judged suspect");
      break;
    }
    last.Take(values, now);
    benchmark::DoNotOptimize(values);
  }
}
BENCHMARK(BM_ReadingJudgement);

}  // namespace
}  // namespace pilvo
