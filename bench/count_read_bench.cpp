// One encoder read over a pseudo-terminal: the driver against the virtual arm, and the same
// bytes moved by a bare write/read with an immediate echo on the other side. The difference is
// what the driver and the arm model add to the wire.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "allocation_counter.h"
#include "data/settings.h"
#include "data/tab_file.h"
#include "dialogs/scripted_operator.h"
#include "session/tab_reading.h"
#include "link/arm_board.h"
#include "link/arm_link.h"
#include "sim/serial_server.h"
#include "sim/virtual_arm.h"

namespace pilvo {
namespace {

ArmRecord SerialDemoArm() {
  TabContents contents;
  ScriptedOperator quiet;
  ReadTabFile(std::filesystem::path(PILVO_DEMO_DIR) / "serial6_dh_marks.tab", contents,
              TabReaderVariant::Wizard, quiet);
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
  ::setenv("PILVO_CONFIG_DIR", folder.c_str(), 1);
  ArmRecord record = SerialDemoArm();
  sim::VirtualArm arm(record);
  sim::SerialSimServer server(arm);
  if (!server.Start()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  const JointTables tables = DeriveJointTables(record);
  ArmLink link(record, std::string(kLibraryProfileStore));
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

}  // namespace
}  // namespace pilvo
