// The probes management dialog's model: choose the probe in use, add, modify, calibrate, save
// and delete probes. A compact browsing face shows the selected probe; Add and Modify open the
// editing face, where the arm's buttons take calibration points on the 100 ms timer. A view
// shows the state below and forwards the controls, the timer and the closing buttons.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/arm_record.h"
#include "data/local_text.h"
#include "dialogs/calibration_acquisition.h"

namespace pilvo {

class ArmSession;
struct ArmSessionState;

inline constexpr int kProbesDialogTickMs = 100;

// The mode radio buttons, in their order; the auxiliary-input flags of a probe record.
enum class ProbeMode { None = -1, Standard, Renishaw, ScannerEcu, ScannerProbe };

ProbeMode ProbeModeOf(const ArmOptions& options);

// The texts of the dialog's controls in the current language.
struct ProbesDialogLabels {
  std::string title, apply, cancel, add, remove, modify, name, mode, probeDiameter, unit;
  std::string resetMemory, greenButton, additionalAxis, sphereDiameter, compute, save, abort;
  std::array<std::string, 4> modes;  // Standard, Renishaw, Scanner (ECU), Scanner (Probe)
};
ProbesDialogLabels MakeProbesDialogLabels(const Language& language);

// What the editable controls hold. The diameters are texts, read as numbers by the commands.
struct ProbeFields {
  std::string name;
  std::string probeDiameter;
  std::string sphereDiameter;
  ProbeMode mode = ProbeMode::None;
  bool resetMemory = false;
  bool greenButton = false;
  bool additionalAxis = false;
};

// Which controls take input.
struct ProbeControls {
  bool selector = false;
  bool add = true;
  bool modify = true;
  bool remove = true;
  bool apply = true;
  bool name = false;
  bool probeDiameter = false;
  bool lists = false;
  bool resetMemory = false;
  bool greenButton = false;
  bool additionalAxis = false;
  bool modes = false;
  bool compute = false;
  bool save = false;
  bool abort = false;
};

class ProbesDialog {
 public:
  // Opens on the probe in use with the stored sphere diameter (mm). While the dialog is open the
  // readings leave the arm's buttons to it and the board runs in probe mode.
  ProbesDialog(ArmSession& session, double sphereDiameter);
  // A dialog destroyed without closing (the link was lost) gives the buttons back.
  ~ProbesDialog();
  ProbesDialog(const ProbesDialog&) = delete;
  ProbesDialog& operator=(const ProbesDialog&) = delete;

  // The texts of the controls in the session's language.
  ProbesDialogLabels labels() const;
  // The selector: "Factory calibration", then the probe names; enabled with at least a probe.
  std::vector<std::string> selectorItems() const;
  int selection() const { return selection_; }
  const ProbeFields& fields() const { return fields_; }
  const ProbeControls& controls() const { return controls_; }
  // Add puts the focus on the name field: true once after it.
  bool TakeNameFocus() { return std::exchange(nameFocus_, false); }
  // List 1110: instructions, the selected probe's report line, the calibration report. The view
  // selects the last line when lines are added.
  const std::vector<std::string>& reportLines() const { return reportLines_; }
  // List 1120, shown while acquiring.
  const std::vector<std::string>& pointLines() const { return acquisition_.pointLines(); }
  bool pointListShown() const { return pointListShown_; }
  int pointCount() const { return acquisition_.pointCount(); }
  // The editing face is shown and the 100 ms timer runs.
  bool editing() const { return editing_; }
  // A calibration (or a scanner mode, calibrated elsewhere) is ready for saving.
  bool computed() const { return computed_; }
  // The probe table was changed and saved.
  bool modified() const { return modified_; }
  // Apply or Cancel closed the dialog: the view goes and the owner forgets it.
  bool closed() const { return closed_; }
  // Nothing to plot unless computed.
  ResidualPlot residualPlot() const;

  // Controls.
  void SelectProbe(int index);
  void SetName(std::string text);
  // Changing a diameter makes a computed calibration stale.
  void SetProbeDiameterText(std::string text);
  void SetSphereDiameterText(std::string text);
  void SetResetMemory(bool on) { fields_.resetMemory = on; }
  void SetAdditionalAxis(bool on) { fields_.additionalAxis = on; }
  // "Use green button" clicked: button 3 takes the place of button 1 from the next reading.
  void SetGreenButton(bool on);
  // A mode radio button; ignored once a point has been taken.
  void ChooseMode(ProbeMode mode);

  // Commands.
  void Add();
  void Modify();
  void Delete();
  void Compute();
  void Save();
  void Abort();
  void Apply();
  void Cancel();
  // The 100 ms timer: one reading, the buttons' presses.
  void Tick();

 private:
  ArmSessionState& state();
  const ArmSessionState& state() const;
  std::string Text(int id) const;
  int ProbeCount() const;
  const ArmRecord& SelectedRecord() const;
  void ShowSelectionFields();
  void EnterEditing(bool adding);
  void LeaveEditing();
  // The result is stale: the dialog copy goes back to the record the points are measured with.
  void DropCalibration();
  // The diameters as numbers, after the checks of the typed texts; false after a message.
  bool ReadDiameters(double& probeDiameter, double& sphereDiameter);
  void Message(std::string_view text);
  bool Ask(int textId);
  void Close();

  ArmSession& session_;
  const double storedSphereDiameter_;
  int selection_;
  ProbeFields fields_;
  ProbeControls controls_;
  std::vector<std::string> reportLines_;
  bool pointListShown_ = false;
  bool adding_ = false;
  int target_ = 0;
  bool computed_ = false;
  bool modified_ = false;
  bool editing_ = false;
  bool closed_ = false;
  bool nameFocus_ = false;
  const bool initialAdditionalAxis_;
  ArmRecord probeCopy_;
  CalibrationAcquisition acquisition_;
};

// Loads the probe selection and opens the dialog, or says "Probe management not available" and
// opens nothing.
std::unique_ptr<ProbesDialog> OpenProbesDialog(ArmSession& session);

}  // namespace pilvo
