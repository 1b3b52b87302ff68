// The reset dialog's model. It polls the reference marks and the encoder counts every 100 ms,
// shows which joints have passed their mark and draws the arm, and ends with OK once every
// required mark is found; the operator may choose the ambient temperature and the probe
// meanwhile, or cancel. A view shows its state and forwards the timer and the controls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dialogs/arm_dialogs.h"
#include "dialogs/arm_view_pose.h"

namespace pilvo {

class ArmSession;

inline constexpr int kResetTickMs = 100;

class ResetProcedure {
 public:
  enum class State { Running, Ok, Cancelled };

  // Makes setup.toolInUse the session's probe in use, reads whether the dialog opens reduced
  // ("Options"/"ResetResize" of the product store, default 1).
  ResetProcedure(ArmSession& session, const ResetDialogSetup& setup);

  // Texts: the title (the wizard has its own), the title line with the TAB file, the
  // instruction, the group of the indicators and the cancel button.
  const std::string& title() const { return title_; }
  const std::string& tabPath() const { return setup_.tabPath; }
  const std::string& instruction() const { return instruction_; }
  const std::string& markStatusLabel() const { return markStatusLabel_; }
  const std::string& cancelLabel() const { return cancelLabel_; }

  // One label per indicator shown: "ENCODER n", the table channel's reading "ROTATING TABLE".
  const std::vector<std::string>& encoderLabels() const { return encoderLabels_; }
  // Bit i: indicator i is lit, joint i has passed its mark (at the last tick).
  std::uint32_t markMask() const { return markMask_; }
  int marksFound() const;
  const ArmViewPose& viewPose() const { return viewPose_; }

  // The temperature text and its icon show with temperature compensation; the temperature box
  // and its "°C" only when the ambient temperature is typed in (no sensors).
  const std::string& temperatureText() const { return temperatureText_; }
  bool temperatureTextShown() const { return setup_.temperatureCompensation; }
  bool temperatureChoiceShown() const;
  const std::vector<std::string>& temperatureLines() const;
  std::int32_t temperatureLine() const { return temperatureLine_; }

  // The probe box, shown when probes can be managed: "Factory calibration", then every probe
  // of the table; disabled, on its first line, when the table holds none.
  bool probeChoiceShown() const { return setup_.probeManagement; }
  const std::vector<std::string>& probeLines() const { return probeLines_; }
  bool probeChoiceEnabled() const { return probeLines_.size() > 1; }
  std::int32_t probeLine() const;

  // Reduced: the dialog without the 3-D view, with ">>" to enlarge it.
  bool reduced() const { return reduced_; }

  State state() const { return state_; }
  // 0, or the negative status of the reference-mark query that cancelled the dialog.
  std::int32_t resultCode() const { return resultCode_; }
  // What the caller reads: a dialog still running counts as cancelled.
  ResetDialogOutcome outcome() const;

  // The 100 ms timer: queries the marks, reads the counts, updates indicators and view; OK with
  // a beep when every required mark is found, Cancel when the query fails.
  void Tick();
  // The cancel button: the result code stays as it is.
  void Cancel();
  // A line of the probe box becomes the probe in use. False for a line the box does not have,
  // or when the box is not offered.
  bool SelectProbe(std::int32_t line);
  // False for a line outside "0" … "40", or when the box is not shown.
  bool SelectTemperature(std::int32_t line);
  // ">>" and "<<": the size is kept in "Options"/"ResetResize" for the next reset.
  void Enlarge();
  void Reduce();

 private:
  void LabelEncoders();
  void StoreReduced(bool reduced);

  ArmSession& session_;
  ResetDialogSetup setup_;
  std::string title_;
  std::string instruction_;
  std::string markStatusLabel_;
  std::string cancelLabel_;
  std::string temperatureText_;
  std::vector<std::string> encoderLabels_;
  std::vector<std::string> probeLines_;
  std::int32_t temperatureLine_;
  bool reduced_;
  std::uint32_t markMask_ = 0;
  ArmViewPose viewPose_;
  State state_ = State::Running;
  std::int32_t resultCode_ = 0;
};

}  // namespace pilvo
