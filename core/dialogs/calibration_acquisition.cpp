#include "dialogs/calibration_acquisition.h"

#include <algorithm>
#include <cmath>

#include "data/local_text.h"
#include "data/number_text.h"
#include "session/operator_ports.h"

namespace pilvo {
namespace {

constexpr std::string_view kPointsBufferFull = "_points buffer full";
constexpr std::string_view kNotSettled =
    "_the touches do not turn the probe enough: calibration not computed";
constexpr int kTextInsertMode = 2427;

constexpr int kButton1 = 0;
constexpr int kButton2 = 1;
constexpr int kButton3 = 2;
constexpr double kWideSpread = 1.0;    // mm
constexpr double kSettledMove = 1e-4;  // mm
// About 0.2 s of fits: touches that need more do not fix the tip.
constexpr int kMaxSettlingFits = 100;

using Vector3 = std::array<double, 3>;

double Length(const Vector3& v) {
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// The pose the probe record corrected by `d` measures: p + R d.
void MoveTip(Pose& pose, const Vector3& d) {
  for (int row = 0; row < 3; ++row) {
    pose[4 * row + 3] += pose[4 * row] * d[0] + pose[4 * row + 1] * d[1] + pose[4 * row + 2] * d[2];
  }
}

// "%i:  %.3f, %.3f, %.3f" whatever the locale: a decimal comma would run into the separators.
std::string PointLine(int number, const Pose& pose) {
  return std::to_string(number) + ":  " + FixedText(pose[3], 3) + ", " + FixedText(pose[7], 3) +
         ", " + FixedText(pose[11], 3);
}

}  // namespace

void CalibrationAcquisition::Start() {
  count_ = 0;
  lines_.clear();
  modeWarningShown_ = false;
  hasResult_ = false;
}

bool CalibrationAcquisition::Pressed(std::uint32_t buttonMask, int index) {
  const bool held = (buttonMask >> index & 1u) != 0;
  const bool pressed = held && !latches_[index];
  latches_[index] = held;
  return pressed;
}

AcquisitionChange CalibrationAcquisition::OnButtons(std::uint32_t buttonMask, const Pose& pose,
                                                    bool modeChosen, Prompts& ui) {
  AcquisitionChange change;
  if (Pressed(buttonMask, kButton1)) {
    change.pointsTouched = true;
    change.firstPointTaken = TakePoint(pose, modeChosen, ui) && count_ == 1;
  }
  if (Pressed(buttonMask, kButton2)) {
    change.pointsTouched = true;
    change.lastPointDropped = DropPoint(ui) && count_ == 0;
  }
  Pressed(buttonMask, kButton3);
  if (change.pointsTouched) hasResult_ = false;
  return change;
}

bool CalibrationAcquisition::TakePoint(const Pose& pose, bool modeChosen, Prompts& ui) {
  if (count_ == kMaxCalibrationPoints) {
    ui.ShowMessage(kPointsBufferFull, kLibraryCaption, MessageIcon::Error);
    return false;
  }
  ui.Beep();
  if (count_ == 0 && !modeChosen) {
    if (!modeWarningShown_) {
      modeWarningShown_ = true;
      ui.ShowMessage(LocalText(kTextInsertMode, language_), kLibraryCaption, MessageIcon::Error);
    }
    return false;
  }
  points_[static_cast<std::size_t>(count_)] = pose;
  ++count_;
  lines_.push_back(PointLine(count_, pose));
  return true;
}

bool CalibrationAcquisition::DropPoint(Prompts& ui) {
  if (count_ == 0) return false;
  ui.Beep();
  --count_;
  lines_.pop_back();
  return true;
}

int CalibrationAcquisition::Compute(const ArmRecord& working, double probeDiameter,
                                    double sphereDiameter, ArmRecord& probeCopy) {
  calibration_.report.clear();
  int result = ComputeProbeCalibration(points(), working, probeDiameter, sphereDiameter, probeCopy,
                                       calibration_, language_);
  if (result == kCalibrationDone) {
    result = Settle(working, probeDiameter, sphereDiameter, probeCopy);
  }
  hasResult_ = result == kCalibrationDone;
  return result;
}

int CalibrationAcquisition::Settle(const ArmRecord& working, double probeDiameter,
                                   double sphereDiameter, ArmRecord& probeCopy) {
  ProbeOffsetFit& fit = calibration_.fit;
  const auto kept =
      std::span(calibration_.workingPoints).first(static_cast<std::size_t>(calibration_.keptCount));
  Vector3 total = fit.correction;
  Vector3 move = fit.correction;
  for (int fits = 1; fits <= kMaxSettlingFits; ++fits) {
    // The kept points as the corrected probe measures them; each fit adds to its tip offset.
    for (Pose& point : kept) MoveTip(point, move);
    FitProbeOffset(probeCopy, kept, probeDiameter * 0.5, sphereDiameter * 0.5, workspace_, fit);
    move = fit.correction;
    for (int axis = 0; axis < 3; ++axis) total[axis] += move[axis];
    if (Length(move) < kSettledMove) {
      fit.correction = total;
      if (fits > 1)
        calibration_.report.push_back(CalibrationResultLine(sphereDiameter, fit, language_));
      return kCalibrationDone;
    }
  }
  probeCopy = working;
  calibration_.report.push_back(std::string(kNotSettled));
  return kCalibrationNotSettled;
}

ResidualPlot CalibrationAcquisition::residualPlot() const {
  ResidualPlot plot;
  if (!hasResult_ || calibration_.keptCount < 2) return plot;
  const auto kept =
      std::span(calibration_.workingPoints).first(static_cast<std::size_t>(calibration_.keptCount));
  // The scale is that of the plotted residuals, those of the last fit.
  plot.minimum = kept.front()[kResidualElement];
  plot.maximum = plot.minimum;
  for (const Pose& point : kept) {
    plot.minimum = std::min(plot.minimum, point[kResidualElement]);
    plot.maximum = std::max(plot.maximum, point[kResidualElement]);
  }
  if (plot.maximum == plot.minimum) return {};
  plot.wideSpread = plot.maximum - plot.minimum >= kWideSpread;
  for (const Pose& point : kept) plot.residuals.push_back(point[kResidualElement]);
  return plot;
}

}  // namespace pilvo
