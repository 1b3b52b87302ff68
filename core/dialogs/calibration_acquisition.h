// The points of a probe calibration as the arm's buttons take them on the probes dialog's 100 ms
// timer (button 1 takes a point, button 2 drops the last one), and the calibration computed from
// them with the residuals its plot shows.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "data/arm_record.h"
#include "data/local_text.h"
#include "measure/transforms.h"
#include "probes/probe_calibration.h"

namespace pilvo {

class Prompts;

// What the buttons of one tick changed, for the dialog to follow.
struct AcquisitionChange {
  bool pointsTouched = false;     // button 1 or 2 was pressed: a computed result is stale
  bool firstPointTaken = false;   // the probe mode is now fixed for this calibration
  bool lastPointDropped = false;  // no point is left: the mode may change again
};

// The residuals of the points the last fit kept, as the dialog plots them.
struct ResidualPlot {
  std::vector<double> residuals;  // in the order of the points; empty: nothing to plot
  double minimum = 0.0;           // mm
  double maximum = 0.0;
  bool wideSpread = false;  // maximum - minimum >= 1 mm: a yellow background instead of white
};

// Compute's result when further fits do not settle the tip offset.
inline constexpr int kCalibrationNotSettled = -5;

class CalibrationAcquisition {
 public:
  // Its messages and report are in `language`, which must outlive it.
  explicit CalibrationAcquisition(const Language& language) : language_(language) {}

  // A new editing period: no points, no result, the mode warning not yet shown.
  void Start();

  // Acts on the presses in `buttonMask` (bits 0, 1, 2: buttons 1, 2, 3 held), each once until
  // its button is released. Button 1 takes `pose` (a ball-centre pose) as the next point unless
  // 100 are held or no probe mode is chosen: "_points buffer full" at every such press, "Insert
  // 'Mode' option" once per editing period. Button 2 drops the last point.
  AcquisitionChange OnButtons(std::uint32_t buttonMask, const Pose& pose, bool modeChosen,
                              Prompts& ui);

  // Calibrates on the points measured with `working` (ComputeProbeCalibration); `probeCopy`
  // receives the corrected record. A fit runs a fixed number of passes, which can stop far from
  // the best tip offset when the touches turn the probe little: further fits, each from the tip
  // the last one found, go on until a fit moves the tip by less than 0.1 um.
  // kCalibrationNotSettled, with `probeCopy` reset to `working`, when it does not settle. The
  // report lines are in report().
  int Compute(const ArmRecord& working, double probeDiameter, double sphereDiameter,
              ArmRecord& probeCopy);
  // Forgets the result of the last computation; the points stay.
  void DropResult() { hasResult_ = false; }

  int pointCount() const { return count_; }
  std::span<const Pose> points() const {
    return std::span(points_).first(static_cast<std::size_t>(count_));
  }
  // "n:  x, y, z" of every point, n from 1.
  const std::vector<std::string>& pointLines() const { return lines_; }
  bool hasResult() const { return hasResult_; }
  // Of the last computation: its report lines, and its final fit (zeros without a result).
  const std::vector<std::string>& report() const { return calibration_.report; }
  ProbeOffsetFit fit() const { return hasResult_ ? calibration_.fit : ProbeOffsetFit{}; }
  // Empty without a result, with fewer than 2 kept points, or when all residuals are equal.
  ResidualPlot residualPlot() const;

 private:
  // Whether the button `index` (0 … 2) went down since the last tick.
  bool Pressed(std::uint32_t buttonMask, int index);
  bool TakePoint(const Pose& pose, bool modeChosen, Prompts& ui);
  bool DropPoint(Prompts& ui);
  int Settle(const ArmRecord& working, double probeDiameter, double sphereDiameter,
             ArmRecord& probeCopy);

  std::array<Pose, kMaxCalibrationPoints> points_{};
  int count_ = 0;
  std::vector<std::string> lines_;
  std::array<bool, 3> latches_{};
  const Language& language_;
  bool modeWarningShown_ = false;
  ProbeCalibration calibration_;
  LevenbergWorkspace workspace_{3, kMaxCalibrationPoints};
  bool hasResult_ = false;
};

}  // namespace pilvo
