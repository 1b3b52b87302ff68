#include "soak/link_soak.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

#include <Eigen/Core>

#include "data/settings.h"
#include "pilvo_library.h"
#include "pose_expectations.h"
#include "scoped_config_dir.h"
#include "sim/encoder_counts.h"
#include "sim/motions.h"
#include "soak/resident_memory.h"

namespace pilvo::soak {
namespace {

constexpr int kSweepSteps = 500;  // postures made at a time
// Every other sweep goes at a hand's pace: a leg spans at most a turn (joints without limits
// keep within -180 to 180 degrees), so no joint turns more than half a degree between two
// readings. The others jump from one posture to the next as no hand can.
constexpr int kHandPaceStepsPerLeg = 720;
// ResetEncoder calls one recovery may take: the longest burst of spoilt replies and the most
// resets an unplugged arm fails, with room to spare.
constexpr int kMostResets = 12;
// What a failed reading must leave in the client's pose and status.
constexpr double kUntouchedPose = 12345.0;
constexpr std::int32_t kUnsetStatus = -77;
// Short serial read time-outs, so that a silent board costs little: 100 ms and 2 ms a byte.
constexpr int kReadTotalConstantMs = 100;
constexpr int kReadTotalMultiplierMs = 2;

std::string DemoArmOf(SoakLink link) {
  return link == SoakLink::Serial ? "serial6_dh_marks" : "usb6_quaternion";
}

template <class... Parts>
std::string Text(const Parts&... parts) {
  std::ostringstream text;
  (text << ... << parts);
  return text.str();
}

std::string CodesText(const std::set<std::int32_t>& codes) {
  std::ostringstream text;
  for (const std::int32_t code : codes) text << (text.tellp() > 0 ? " or " : "") << code;
  return text.str();
}

std::optional<sim::Fault> SpoiltReplyOf(Disturbance kind) {
  switch (kind) {
    case Disturbance::Silence:
      return sim::Fault::Silence;
    case Disturbance::ShortReply:
      return sim::Fault::ShortReply;
    case Disturbance::WrongEcho:
      return sim::Fault::WrongEcho;
    case Disturbance::CorruptBytes:
      return sim::Fault::CorruptBytes;
    case Disturbance::Unplug:
    case Disturbance::PortLost:
      break;
  }
  return std::nullopt;
}

// How far a pose read is from the truth: the largest position difference, mm, and the largest
// difference of the orientation's elements. NaN when the pose holds one.
struct Deviation {
  double position = 0.0;
  double rotation = 0.0;
};

Deviation DeviationOf(const Pose& pose, const Eigen::Matrix4d& truth) {
  const Eigen::Map<const testing::RowMajor> read(pose.data());
  const Eigen::Matrix4d difference = (read - truth).cwiseAbs();
  return {difference.topRightCorner<3, 1>().maxCoeff<Eigen::PropagateNaN>(),
          difference.topLeftCorner<3, 3>().maxCoeff<Eigen::PropagateNaN>()};
}

bool WithinTolerance(const Deviation& deviation) {
  return deviation.position <= testing::kPositionTolerance &&
         deviation.rotation <= testing::kRotationTolerance;
}

class LinkSoak : private testing::ServedDemoArm {
 public:
  LinkSoak(SoakLink link, const SoakSettings& settings, std::string library)
      : link_(link),
        settings_(settings),
        libraryPath_(std::move(library)),
        schedule_(link, settings.seed, settings.faultRate),
        motion_(settings.seed + 1) {
    report_.link = link;
    report_.arm = DemoArmOf(link);
    for (const Disturbance kind : DisturbancesOf(link)) report_.kinds[kind] = {};
  }

  LinkReport Run() {
    const auto started = std::chrono::steady_clock::now();
    report_.resident.startKb = ResidentKilobytes();
    if (Start()) {
      const int warmUp = settings_.readings / 10;
      std::vector<sim::MotionStep> sweep;
      std::size_t next = 0;
      bool handPace = false;
      bool completed = true;
      for (int index = 0; index < settings_.readings && completed; ++index) {
        if (index == warmUp) report_.resident.warmKb = ResidentKilobytes();
        if (next == sweep.size()) {
          handPace = !handPace;
          sweep = sim::WorkspaceSweep(record_, static_cast<std::uint32_t>(motion_()), kSweepSteps,
                                      surroundings_,
                                      handPace ? kHandPaceStepsPerLeg : sim::kSweepStepsPerLeg);
          next = 0;
        }
        completed = ReadAt(index, sweep[next++]);
      }
      report_.resident.endKb = ResidentKilobytes();
      if (api().ChiudePorta() != 0 && completed) {
        Violation("ChiudePorta at the end found no open link");
      }
    }
    if (!library_.Unload()) Violation("unloading the library: " + library_.error());
    StopServing();
    CheckResidentGrowth(report_, kResidentSetTellsLeaks);
    report_.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return report_;
  }

 private:
  const testing::PilvoExports& api() const { return library_.exports(); }
  void Violation(const std::string& what) { AddViolation(report_, what); }

  // The largest difference, degrees, between the joint angles of the driver's last reading and
  // those the encoders give at `degrees`; NaN when the driver does not tell them.
  double LargestJointError(const std::vector<double>& degrees) const {
    std::int32_t shown = 0;
    std::array<double, kMaxJoints> reported{};
    if (api().VedeCinematica2(1, &shown, reported.data(), nullptr, nullptr) != 0) {
      return std::numeric_limits<double>::quiet_NaN();
    }
    reported[0] = -reported[0];
    double largest = 0.0;
    for (std::size_t joint = 0; joint < std::min<std::size_t>(shown, degrees.size()); ++joint) {
      const int j = static_cast<int>(joint);
      const double perDegree = record_.encoderLines[joint] * 4.0 / 360.0;
      if (perDegree == 0.0) continue;
      const std::int64_t value = (std::int64_t{sim::ReferencedCount(record_, j, degrees[joint])} +
                                  record_.encoderOffsets[joint]) *
                                 (record_.jointReversed[joint] ? -1 : 1);
      largest =
          std::max(largest, std::abs(reported[joint] - static_cast<double>(value) / perDegree));
    }
    return largest;
  }

  // The client's start: the library loaded, the port named, the TAB file read, the arm reset.
  bool Start() {
    WriteSettingInt("TIMEOUT", "ReadTotalConstant", kReadTotalConstantMs,
                    config_.Store(kLibraryProfileStore));
    WriteSettingInt("TIMEOUT", "ReadTotalMultiplier", kReadTotalMultiplierMs,
                    config_.Store(kLibraryProfileStore));
    if (!Serve(report_.arm, config_.path() / "usb.sock")) {
      Violation("demo arm " + report_.arm + " cannot be served");
      return false;
    }
    if (link_ == SoakLink::Usb) {
      // Temperatures that the boards report exactly, so that the truth holds to the last digit.
      const double celsius = testing::OnBoardGrid(21.0);
      surroundings_.temperatures = {celsius, celsius, celsius};
      arm_->SetTemperatures(surroundings_.temperatures);
    }
    ::setenv("PILVO_OPERATOR", "console", 1);
    if (!library_.Load(libraryPath_)) {
      Violation("cannot load " + libraryPath_ + ": " + library_.error());
      return false;
    }
    api().AprePorta(portName().c_str());
    if (const std::int32_t code = api().LeggeParametri(tabPath_.c_str()); code != 0) {
      Violation(Text("LeggeParametri gave ", code));
      return false;
    }
    if (Recover()) return true;
    if (link_ == SoakLink::Usb) {
      Violation(
          "is the USB access library loaded the simulator's (LD_LIBRARY_PATH=<build>/sim/usb)?");
    }
    return false;
  }

  // One reading at the posture of `step`, after a fault when one is due. False when the soak
  // cannot go on.
  bool ReadAt(int index, const sim::MotionStep& step) {
    if (!sim::ApplyStep(*arm_, step)) {
      Violation(Text("reading ", index, ": the virtual arm refused the posture"));
      return false;
    }
    if (!fault_) {
      if (const auto planned = schedule_.Next()) Inject(*planned);
    }
    const std::optional<PlannedFault> met = fault_;
    pose_.fill(kUntouchedPose);
    status_ = kUnsetStatus;
    const std::int32_t code = api().LeggeQuota(pose_.data(), &status_);
    ++report_.readings;
    if (code == 0) ++report_.successful;
    const Deviation deviation = DeviationOf(pose_, step.pose);
    const bool right = code == 0 && WithinTolerance(deviation);

    if (met) {
      KindTally& tally = report_.kinds[met->kind];
      ++tally.readingCodes[code];
      if (const auto expected = ReadingCodesFor(link_, met->kind); !expected.contains(code)) {
        Violation(Text("reading ", index, ": ", NameOf(met->kind), " gave ", code, ", expected ",
                       CodesText(expected)));
      }
      if (code == 0 && !right && PassesLinkChecks(link_, met->kind)) {
        ++tally.offTruth[ErrorSizeOf(LargestJointError(step.degrees))];
      }
    } else if (code != 0) {
      Violation(Text("reading ", index, ": code ", code, " without a fault"));
    } else if (!right) {
      Violation(Text("reading ", index, ": off the truth by ", deviation.position,
                     " mm (orientation ", deviation.rotation, ")"));
    } else if (status_ != 0 && !afterCorruption_) {
      Violation(Text("reading ", index, ": status ", status_, " with no button held"));
    }
    if (!met) {
      if (afterCorruption_) {
        ++report_.readingsAfterCorruption;
        if (right) ++report_.rightAfterCorruption;
      }
      if (afterRecovery_) {
        ++report_.readingsAfterRecovery;
        if (right) ++report_.rightAfterRecovery;
      }
    }
    afterCorruption_ = met && PassesLinkChecks(link_, met->kind);
    afterRecovery_ = false;

    if (code >= 0) {
      if (down_) Restore();  // the driver did not notice: put the arm back all the same
      SettleFault();
      return true;
    }
    const bool untouched =
        std::all_of(pose_.begin(), pose_.end(), [](double v) { return v == kUntouchedPose; });
    if (!untouched || status_ != kUnsetStatus) {
      Violation(Text("reading ", index, ": the failed reading wrote the client's pose or status"));
    }
    if (!Recover()) return false;
    ++report_.recoveries;
    if (met) ++report_.kinds[met->kind].recovered;
    afterRecovery_ = true;
    return true;
  }

  void Inject(const PlannedFault& fault) {
    ++report_.kinds[fault.kind].injected;
    fault_ = fault;
    if (const auto spoilt = SpoiltReplyOf(fault.kind)) {
      arm_->InjectFault(*spoilt, fault.replies);
    } else if (fault.kind == Disturbance::Unplug) {
      arm_->SetPlugged(false);
      down_ = true;
    } else {
      LosePort();
      down_ = true;
    }
  }

  // The arm plugged in again, or its port back.
  void Restore() {
    down_ = false;
    if (fault_->kind == Disturbance::Unplug) {
      arm_->SetPlugged(true);
    } else if (!RestorePort()) {
      Violation("the serial port could not be made again");
    }
  }

  // The fault is over once the arm is back and spoils no more replies.
  void SettleFault() {
    if (fault_ && !down_ && !arm_->snapshot().faults.fault) fault_.reset();
  }

  // ResetEncoder until it returns 0, as the driver asks of its clients after a failure; the
  // arm comes back after the resets its fault lets fail.
  bool Recover() {
    int failures = 0;
    for (int call = 0; call < kMostResets; ++call) {
      if (down_ && failures >= fault_->deadResets) Restore();
      const std::int32_t code = api().ResetEncoder();
      if (code == 0) {
        SettleFault();
        return true;
      }
      ++failures;
      if (fault_) {
        ++report_.kinds[fault_->kind].resetCodes[code];
        if (const auto allowed = ResetCodesFor(link_, fault_->kind); !allowed.contains(code)) {
          Violation(Text("ResetEncoder under ", NameOf(fault_->kind), " gave ", code, ", expected ",
                         CodesText(allowed)));
        }
      } else {
        Violation(Text("ResetEncoder gave ", code, " without a fault"));
      }
      SettleFault();
    }
    Violation(Text("ResetEncoder did not return 0 in ", kMostResets, " calls"));
    return false;
  }

  const SoakLink link_;
  const SoakSettings settings_;
  const std::string libraryPath_;
  testing::LibraryConfigDir config_{"pilvo_soak"};
  testing::PilvoLibrary library_;
  FaultSchedule schedule_;
  std::mt19937 motion_;  // seeds of the sweeps the arm travels
  LinkReport report_;
  std::optional<PlannedFault> fault_;  // the fault in progress
  bool down_ = false;                  // the arm unplugged or its port gone
  bool afterRecovery_ = false;
  bool afterCorruption_ = false;
  Pose pose_{};
  std::int32_t status_ = kUnsetStatus;
};

}  // namespace

LinkReport RunLinkSoak(SoakLink link, const SoakSettings& settings, const std::string& library) {
  return LinkSoak(link, settings, library).Run();
}

}  // namespace pilvo::soak
