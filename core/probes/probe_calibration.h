// Probe calibration on a qualification sphere (or, with sphere diameter 0, on a fixed seat):
// the correction of the probe's tip offset in the last arm frame that puts every corrected tip
// position on one sphere of the expected radius (or on one point), with two outlier passes.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "data/arm_record.h"
#include "data/local_text.h"
#include "measure/transforms.h"
#include "probes/levenberg_marquardt.h"

namespace pilvo {

inline constexpr int kMaxCalibrationPoints = 100;
inline constexpr int kMinCalibrationPoints = 15;
// The fewest points a fit runs on: a sphere needs 4.
inline constexpr int kMinFitPoints = 4;
// Element of a point slot that receives the point's residual.
inline constexpr int kResidualElement = 15;

// Results of FitProbeOffset and ComputeProbeCalibration.
inline constexpr int kCalibrationDone = 0;
inline constexpr int kCalibrationTooFewPoints = -1;       // below the minimum for the call
inline constexpr int kCalibrationTooManyPoints = -2;      // more than kMaxCalibrationPoints
inline constexpr int kCalibrationNoToolTranslation = -3;  // a Denavit-Hartenberg record
inline constexpr int kCalibrationTooFewKept = -4;         // filtering left fewer than 4 points

struct ProbeOffsetFit {
  std::array<double, 3> correction{};  // d, mm, in the last arm frame
  double measuredDiameter = 0.0;       // free-radius sphere diameter minus the probe ball, mm
  double sigma = 0.0;                  // root mean square residual, mm
};

// Fits the tip-offset correction d to the probe poses `points` (rows 0 to 2 of each pose are
// read) and adds it, as floats, to the tool translation of `probe`: parameter group n, or n - 1
// with the table channel. Writes each point's residual |p + R d - c| - rE into its element 15,
// where rE = probeRadius + sphereRadius, or 0 when sphereRadius is 0 (point calibration).
// `workspace` must hold 3 parameters and points.size() measurements.
// Refuses, changing nothing: fewer than 4 or more than 100 points, a record that is not a
// six-parameter chain (its tool group has no translation), a workspace too small.
int FitProbeOffset(ArmRecord& probe, std::span<Pose> points, double probeRadius,
                   double sphereRadius, LevenbergWorkspace& workspace, ProbeOffsetFit& fit);

struct ResidualStatistics {
  double minimum = 1.0e5;
  double maximum = -1.0e5;
  double mean = 0.0;
};

// A filter pass keeps a point when |residual - mean| < sigma, strictly, and every point when
// sigma is 0.
bool KeptByFilter(double residual, const ResidualStatistics& statistics, double sigma);

struct ProbeCalibration {
  std::array<Pose, kMaxCalibrationPoints> workingPoints{};  // the last fit's points, residuals
  int keptCount = 0;                // points of the last fit, at the front of workingPoints
  ProbeOffsetFit fit;               // of the last fit
  ResidualStatistics statistics;    // of the residuals that filter pass 2 used
  std::vector<std::string> report;  // lines to append to the report list
};

// The report line of a calibration, which the TAB file keeps with the probe: "Qualify sphere
// diameter=<measured> Sigma=<sigma>", or with sphere diameter 0 "Arm point calibration
// Sigma=<sigma>", three decimals after a "." whatever the locale.
std::string CalibrationResultLine(double sphereDiameter, const ProbeOffsetFit& fit,
                                  const Language& language);

// The message shown when fewer than kMinCalibrationPoints points were acquired.
std::string TooFewCalibrationPointsMessage(const Language& language);

// Fits, filters the points whose residual is not strictly within sigma of the mean, refits,
// filters again and refits. Every fit starts from `workingRecord`, the record the points were
// measured with, copied into `probeCopy`; the diameters are those typed by the user.
// When a filter pass leaves fewer than 4 points the calibration is abandoned: `probeCopy` is
// reset to `workingRecord` (the calibration in use stays) and the report says so.
int ComputeProbeCalibration(std::span<const Pose> rawPoints, const ArmRecord& workingRecord,
                            double probeDiameter, double sphereDiameter, ArmRecord& probeCopy,
                            ProbeCalibration& calibration, const Language& language);

}  // namespace pilvo
