#include "measuring_session.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <thread>

#include "pilvo.h"
#include "reading_report.h"

namespace pilvo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPollInterval{20};
constexpr milliseconds kPositionInterval{500};
constexpr milliseconds kResetPause{1000};
constexpr int kResetAttempts = 5;

const char* ResetMeaning(std::int32_t code) {
  switch (code) {
    case 0:
      return "the arm is ready";
    case -1:
      return "the link cannot be opened";
    case -2:
      return "the serial board does not answer";
    case -4:
      return "the reset was cancelled";
    default:
      return code < 0 ? "the reset ended in error" : "the reset was cancelled";
  }
}

// Waits `pause`, or less when told to stop. False when told to stop.
bool Pause(milliseconds pause, const volatile std::sig_atomic_t& stop) {
  const auto end = Clock::now() + pause;
  while (stop == 0 && Clock::now() < end) std::this_thread::sleep_for(kPollInterval);
  return stop == 0;
}

bool ResetArm(const volatile std::sig_atomic_t& stop, std::ostream& out) {
  for (int attempt = 1; attempt <= kResetAttempts && stop == 0; ++attempt) {
    const std::int32_t result = ResetEncoder();
    out << "ResetEncoder: " << result << " (" << ResetMeaning(result) << ")" << std::endl;
    if (result == 0) return true;
    if (attempt < kResetAttempts && !Pause(kResetPause, stop)) break;
  }
  return false;
}

// Polls until the points or the time are done, or a reset after a failed reading fails.
bool Poll(const SessionSettings& settings, const volatile std::sig_atomic_t& stop,
          std::ostream& out) {
  ReadingReport report(out, kPositionInterval);
  const auto start = Clock::now();
  const auto duration = std::chrono::duration<double>(settings.seconds);
  auto tick = start;
  while (stop == 0) {
    if (settings.seconds > 0.0 && Clock::now() - start >= duration) break;
    if (settings.points > 0 && report.points() >= settings.points) break;
    std::array<double, 16> pose{};
    std::int32_t status = 0;
    double diameter = 0.0;
    const std::int32_t result = LeggeQuota2(pose.data(), &status, &diameter);
    if (result < 0) {
      // The driver has closed the link: the arm must be initialised again.
      out << "LeggeQuota2: " << result << "; resetting the arm again" << std::endl;
      if (!ResetArm(stop, out)) return false;
      tick = Clock::now();
      continue;
    }
    report.Add(Clock::now(), pose, status, diameter);
    tick += kPollInterval;
    std::this_thread::sleep_until(tick);
  }
  out << report.points() << " point(s) taken" << std::endl;
  return true;
}

}  // namespace

int RunMeasuringSession(const SessionSettings& settings, const volatile std::sig_atomic_t& stop,
                        std::ostream& out) {
  const std::int32_t version = LeggeVersione();
  out << "LeggeVersione: " << version << std::endl;
  if (version != PILVO_INTERFACE_VERSION) {
    out << "this program needs interface version " << PILVO_INTERFACE_VERSION << std::endl;
    return 1;
  }
  AprePorta(settings.port.c_str());
  out << "AprePorta: " << settings.port << std::endl;
  if (const std::int32_t result = LeggeParametri(settings.tab.c_str()); result != 0) {
    out << "LeggeParametri: " << result << " ("
        << (result == -2 ? "not a TAB file" : "the file cannot be opened") << "): " << settings.tab
        << std::endl;
    return 1;
  }
  out << "LeggeParametri: " << settings.tab << std::endl;

  const bool measured = ResetArm(stop, out) && Poll(settings, stop, out);
  const std::int32_t closed = ChiudePorta();
  out << "ChiudePorta: " << closed << std::endl;
  return measured || stop != 0 ? 0 : 1;
}

}  // namespace pilvo
