// One arm connection: the records of the loaded TAB file, the link and its boards, the tables
// derived from the records, the frames, the motion tracker, and what the position reading keeps
// from one reading to the next. The library's exports work on one process-wide session; the
// wizard owns its own; tests make as many as they like.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "data/arm_record.h"
#include "data/tab_file.h"
#include "link/arm_board.h"
#include "link/arm_link.h"
#include "measure/frame_state.h"
#include "measure/kinematics.h"
#include "measure/motion_tracker.h"
#include "measure/reading_plausibility.h"
#include "measure/transforms.h"
#include "session/operator_ports.h"
#include "session/session_observer.h"
#include "session/tab_reading.h"

namespace pilvo {

struct ArmButtons;

// A monotonic clock in milliseconds. Only differences are used, and they may wrap.
using MillisecondClock = std::function<std::uint32_t()>;
std::uint32_t SteadyMilliseconds();

// tabPath is a 264-byte field: a path of at most 259 characters.
inline constexpr std::size_t kMaxTabPath = 259;

// Results of the session's own calls beyond the board codes.
namespace session_result {
inline constexpr int kDone = 0;
inline constexpr int kNotConnected = -1;   // the views: the link is not open
inline constexpr int kNoTabLoaded = -2;    // VedeCinematica2: no TAB file since the last close
inline constexpr int kTabUnreadable = -1;  // LeggeParametri: no file, or a path too long
inline constexpr int kTabRejected = -2;    // LeggeParametri: the reader refused the file
}  // namespace session_result

// Held this long, button 2 opens the TAB swap.
inline constexpr std::uint32_t kTabSwapHoldMs = 2001;

inline constexpr std::size_t kKinematicViewValues = 10;  // VedeCinematica: 6 angles, 4 lengths
inline constexpr std::size_t kLinkLengths = 4;

// Bits of the status word of a reading.
namespace reading_status {
inline constexpr std::int32_t kButton1 = 1;
inline constexpr std::int32_t kButton2 = 2;
inline constexpr std::int32_t kButton3 = 4;
inline constexpr std::int32_t kAuxiliaryPress = 256;  // button 1 with auxiliary input 1 or 2
inline constexpr std::int32_t kLimitWarning = 512;
}  // namespace reading_status

// What the position reading keeps between readings; all 0 at start.
struct ReadingState {
  std::uint32_t limitMask = 0;  // bit j: joint j of the base record is outside its limits
  bool limitWarningShown = false;
  bool pressLatched = false;           // the current press of button 1 has been re-read once
  std::int32_t auxiliaryCounter = 0;   // readings in a row with an auxiliary request and button 1
  bool swapBusy = false;               // the TAB swap's file dialog is open
  std::uint32_t swapTimer = 0;         // clock when button 2 went down; 0: not timing
  bool probesDialogOpen = false;       // set by the probes management dialog
  std::uint32_t dialogButtonMask = 0;  // while that dialog is open: bits 0-2 buttons 1-3
  ReadingPlausibility lastTaken;       // the joints of the last board read a reading took
};

// The state of the connection: plain data that the loading, the initialisation, the probes and
// the frames read and set.
struct ArmSessionState {
  TabContents tab;    // tab.main: the base record as read; tab.probes; tab.version: tabVersion
  ArmRecord working;  // the record every reading uses: the base record or the probe in use
  std::string tabPath;
  bool tabLoaded = false;
  bool armReady = false;          // initialised: enables the joint-limit check
  bool limitsConfigured = false;  // some joint of the file has limits; never cleared
  std::int32_t toolInUse = 0;     // 0: the base record; k: probe record k
  std::array<double, kMaxJoints> countsPerDegree{};
  JointTables tables;  // directions and the encoder offset copy that the board read applies
  // Of the working record's parameters. Whatever changes them (a load, a probe, a TAB swap)
  // leaves it unfitting, and the next reading builds it again.
  KinematicModel kinematics;
  CountList rawCounts{};
  // Of the last reading, relative to the reset.
  std::array<double, kMaxJoints> jointCounts{};
  FrameState frames;      // frames.frameActive is the user frame's flag
  MotionTracker tracker;  // tracker.clientSession is set once a client has named its port
  ReadingState reading;
};

// The USB device choice and its messages put to `ui`, which must outlive the chooser.
UsbDeviceChooser DeviceChooserOf(Prompts& ui);

// Copies every field of an arm record, texts included, except the derived reference
// temperatures, which the destination keeps.
void CopyRecord(ArmRecord& destination, const ArmRecord& source);

class ArmSession {
 public:
  // `context`, the program's, outlives the session.
  ArmSession(const ProductContext& context, OperatorPorts ports,
             MillisecondClock clock = SteadyMilliseconds);
  ArmSession(const ArmSession&) = delete;
  ArmSession& operator=(const ArmSession&) = delete;

  const ProductContext& context() const { return context_; }
  const Language& language() const { return context_.language(); }
  // The application profile: "DIR", "TIMEOUT", "TEMPERATURA" and the other program keys.
  const SettingsStore& profileStore() const { return profileStore_; }
  ArmSessionState& state() { return state_; }
  const ArmSessionState& state() const { return state_; }
  ArmLink& link() { return link_; }
  ArmBoard& board() { return board_; }
  Prompts& prompts() { return prompts_; }
  ArmStatusDisplay& display() { return display_; }
  ArmDialogs& dialogs() { return dialogs_; }
  std::uint32_t Now() const { return clock_(); }

  // Changes that windows and the driver make; each tells the observers.
  // The probe in use: 0 the base record, k probe record k. The working record follows at the
  // next application of the probe.
  void SelectProbe(std::int32_t probe);
  // The probes management dialog opens or closes; closing forgets the buttons it saw.
  void SetProbesDialogOpen(bool open);
  // A client has named its port: the motion tracker serves a client session.
  void MarkClientSession();

  // Observers outlive their registration; registering allocates, telling them does not.
  void AddObserver(SessionObserver& observer);
  void RemoveObserver(SessionObserver& observer);
  // The session's own procedures tell of what they did.
  void NotifyConnected();
  void NotifyProbeChanged();

  // Loads a TAB file into the working record and the probe table, then derives the tables.
  // 0; -1 the file cannot be opened (or its path is too long to keep); -2 the reader refused it
  // (after its message). On failure tabPath is cleared and the link closed.
  int LeggeParametri(const std::filesystem::path& path);
  // The base record from the working record, the serial register list, counts per degree,
  // directions, the encoder offset copy, cleared counts, no reading to judge the next by, an
  // empty tracker ring and the working record's reference temperatures.
  void DeriveTables();

  // One reading: pose of the probe and status word (reading_status bits). 0, or the negative
  // code of the board read; when the first board read fails, pose and status are not written.
  // A board read whose joints moved further since the last reading than a hand can turn them
  // is read again at once; when the second read agrees neither with it (a real move) nor with
  // the last reading (a spoilt reply), the link is closed and the reading fails with the link's
  // short-reply code (-2 serial, -12 USB).
  // Once the link is open it allocates nothing, unless a point is pushed by the probe radius or
  // a TAB file is swapped.
  int LeggeQuota(Pose& pose, std::int32_t& status);
  // The reading that follows the board read, from the joint values and status bytes that the
  // read gave: LeggeQuota is ReadArmCounts and this. The board is read again only for the fresh
  // re-read of a press with auxiliary input 0.
  int CompleteReading(const std::array<double, kMaxJoints>& jointCounts,
                      const StatusPair& boardStatus, Pose& pose, std::int32_t& status);
  // The same, after setting diameter to twice the probe radius of the probe in use.
  int LeggeQuota2(Pose& pose, std::int32_t& status, double& diameter);

  // The board read alone, for the dialogs that show the arm: the counts become the last
  // reading's. 0, or the negative code of the board read. Not checked like a reading's: what
  // it reads is only shown, for one tick, and the reset dialog that shows it sees the counts
  // jump by design when the joints pass their reference marks.
  int ReadArmCounts();

  // Tells the operator's supply display what the last board read said of the supply.
  void RefreshSupplyDisplay();

  // Joint angles in radians of the last reading, for i below the joint count. 0, or -1 when the
  // link is not connected (nothing written). The board is not read.
  int ReadJointAngles(std::array<double, kMaxJoints>& angles) const;
  // The eight joint counts of the last reading. 0, or -1 when not connected (nothing written).
  int ReadJointCounts(std::array<double, kMaxJoints>& counts) const;

  // The arm for a display in the six-joint layout: values 0-5 the angles (radians, degrees
  // with bit 0 of flags; joint 0 negated; a five-joint arm gets a 0 in value 2), values 6-9 the
  // four link lengths. 0, or -1 when not connected.
  int VedeCinematica(std::int32_t flags, std::span<double, kKinematicViewValues> values) const;
  // The same for any layout; every output may be null. jointCount receives the joints shown
  // (one less when board 3's third axis has no companion), angles needs room for 8 (degrees
  // when mode is exactly 1), lengths room for 4; options: 1 auxiliary input 0, 2 auxiliary
  // input 1 or 2, 4 the third-axis companion. 0; -1 not connected; -2 no TAB file loaded.
  int VedeCinematica2(std::int32_t mode, std::int32_t* jointCount, double* angles, double* lengths,
                      std::int32_t* options) const;

 private:
  template <class Event>
  void Notify(Event event) {
    for (SessionObserver* observer : observers_) event(*observer);
  }

  // The board read of a reading, judged against the last one taken (see LeggeQuota).
  int ReadCheckedCounts();
  // The board read and the pose of its counts.
  int ReadPose(Pose& pose);
  // The pose of a reading's joint counts, which are kept as the last reading's.
  void ComputePose(const std::array<double, kMaxJoints>& jointCounts, Pose& pose);
  std::uint32_t JointLimitMask(std::array<double, kMaxJoints>& angles) const;
  // Shows, updates or hides the warning; true when the reading ends with the limit status.
  bool UpdateLimitsWarning(const std::array<double, kMaxJoints>& angles);
  void ReturnLimitStatus(const ArmButtons& buttons, std::int32_t& status);
  void CountAuxiliaryRequest(const ArmButtons& buttons);
  // The TAB swap by holding button 2: true when the reading goes on to the buttons.
  bool StepTabSwap(bool button2, std::int32_t& status);
  // True when the reading goes on (the file was taken, or the dialog cancelled).
  bool SwapTabFile();
  bool TakeSwappedTab(const std::filesystem::path& file);
  double JointValue(int joint, bool degrees) const;

  const ProductContext& context_;
  Prompts& prompts_;
  ArmStatusDisplay& display_;
  ArmDialogs& dialogs_;
  std::vector<SessionObserver*> observers_;
  SettingsStore profileStore_;
  MillisecondClock clock_;
  ArmSessionState state_;
  ArmLink link_;
  ArmBoard board_;
};

}  // namespace pilvo
