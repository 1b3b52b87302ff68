// The stylus calibration procedure: the arm touches a reference plane with the old stylus and
// again with the new one, and the difference in height is the change of the stylus length. On
// an arm reset at the rest position a step in between takes the rest position's counts anew.
// A new TAB file is written beside the one in use, which stays as it is on disk and in memory.
//
// The wizard window shows display() and the texts of the step it shows, forwards its 100 ms
// timer of the active step to Tick() and its Next and Finish buttons here.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "link/count_decoding.h"
#include "wizard/model/stylus_tab.h"

namespace pilvo::wizard {

enum class StylusStep { ReferencePlane, RestPosition, NewStylus, Confirmation };

enum class StylusType { None = -1, Tip = 0, Sphere = 1 };

// What the operator sets on the two touching steps.
struct StylusFields {
  StylusType type = StylusType::None;
  std::string radius;  // mm, as typed
};

// The rest position step shows the counts of joints 1 to 6.
inline constexpr int kRestJointsShown = 6;

struct StylusStepTexts {
  std::string title;
  std::vector<std::string> instructions;  // top to bottom
  // The touching steps: the stylus type group, its two choices and the radius label.
  std::string stylusType;
  std::string tip;
  std::string sphere;
  std::string radius;
  // The confirmation: the labels above the file in use and the new file.
  std::string originalFile;
  std::string modifiedFile;
};

struct StylusDisplay {
  std::array<std::string, 3> position;                // X, Y, Z of the last reading
  std::string height;                                 // Z touched with button 1 on this activation
  std::array<std::string, kRestJointsShown> offsets;  // the TAB file's encoder offsets
  std::array<std::string, kRestJointsShown> restCounts;  // the raw counts of the last tick
  std::string originalFile;
  std::string modifiedFile;
  bool back = false;
  bool next = false;
  bool finish = false;
};

class StylusCalibration {
 public:
  // `session` has a TAB file loaded and a connected arm, and outlives the procedure.
  StylusCalibration(ArmSession& session, SaveTabChooser choose);

  std::string caption() const;
  // The rest position step only on an arm reset at the rest position (no reference marks).
  const std::vector<StylusStep>& steps() const { return steps_; }
  StylusStepTexts Texts(StylusStep step) const;
  // The fields of a touching step as it opens: as Next last took them, at first Sphere with
  // radius 2.0 on the reference plane and nothing chosen on the new stylus.
  const StylusFields& fields(StylusStep step) const;

  // The step is shown, going forward or back: a height is always taken anew.
  void Activate(StylusStep step);
  // One 100 ms tick of the active step. False when the reading failed: result() is then -1 and
  // the procedure is cancelled.
  bool Tick();
  // Next on the active step with the fields as set: true to go on. Wrong fields, a height not
  // yet taken, Cancel in the save dialog or the file in use chosen keep the step; so does a
  // failed reading, which also sets result() to -1.
  bool Next(const StylusFields& fields);
  // Finish on the confirmation: the new file, with the new rest counts on an arm reset at rest.
  void Finish();

  StylusStep current() const { return current_; }
  const StylusDisplay& display() const { return display_; }
  // 0, or -1 when a reading failed.
  int result() const { return result_; }
  // The plane touched with the old stylus (less the ball's radius) and with the new one.
  double planeHeightOld() const { return planeHeightOld_; }
  double planeHeightNew() const { return planeHeightNew_; }
  const CountList& restCounts() const { return restCounts_; }
  const std::filesystem::path& newTabPath() const { return newTabPath_; }

 private:
  bool resetAtRest() const;
  bool Fail();
  bool TouchTick(double& height);
  bool ReadRestCounts();
  // The fields as Next reads them: the radius, or nothing after the message.
  std::optional<double> Radius(const StylusFields& fields) const;
  bool NextOnNewStylus(const StylusFields& fields);

  ArmSession& session_;
  SaveTabChooser choose_;
  std::vector<StylusStep> steps_;
  StylusStep current_ = StylusStep::ReferencePlane;
  StylusDisplay display_;
  StylusFields referenceFields_;
  StylusFields newStylusFields_;
  double planeHeightOld_ = 0.0;
  double planeHeightNew_ = 0.0;
  CountList restCounts_{};
  StylusType newStylusType_ = StylusType::None;
  double newRadius_ = 0.0;
  std::filesystem::path newTabPath_;
  int result_ = 0;
};

}  // namespace pilvo::wizard
