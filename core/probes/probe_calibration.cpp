#include "probes/probe_calibration.h"

#include <algorithm>
#include <cmath>

#include "data/local_text.h"
#include "data/number_text.h"
#include "probes/sphere_fit.h"

namespace pilvo {
namespace {

constexpr int kOuterPasses = 100;
constexpr int kInnerIterationLimit = 1000;
constexpr int kSixParameterModel = 1;
constexpr int kSixGroup = 6;  // rho0, rho1, rho2, tx, ty, tz

constexpr LevenbergOptions kInnerOptions{
    .muScale = 1e-03, .gradientThreshold = 1e-15, .stepThreshold = 1e-15, .errorThreshold = 1e-20};

constexpr int kTextArmPointCalibration = 2116;
constexpr int kTextPoints = 2329;
constexpr int kTextQualifySphereDiameter = 2408;
constexpr int kTextAcquireAtLeast = 2424;
constexpr int kTextReport = 2435;
constexpr int kTextSigma = 2441;
constexpr char kFilteringPass1[] = "_Filtering (pass 1)...";
constexpr char kFilteringPass2[] = "_Filtering (pass 2)...";
constexpr char kTooFewKept[] = "_too few points left: calibration not computed";

using Vector3 = std::array<double, 3>;

// R v for the rotation in rows 0 to 2, columns 0 to 2 of a pose.
Vector3 Rotate(const Pose& pose, const Vector3& v) {
  Vector3 out;
  for (int row = 0; row < 3; ++row) {
    out[row] = pose[4 * row] * v[0] + pose[4 * row + 1] * v[1] + pose[4 * row + 2] * v[2];
  }
  return out;
}

// p + R d: the tip position with the correction d.
Vector3 CorrectedTip(const Pose& pose, const Vector3& d) {
  const Vector3 turned = Rotate(pose, d);
  return {pose[3] + turned[0], pose[7] + turned[1], pose[11] + turned[2]};
}

Vector3 Mean(std::span<const Vector3> points) {
  Vector3 sum{};
  for (const Vector3& point : points) {
    for (int axis = 0; axis < 3; ++axis) sum[axis] += point[axis];
  }
  const double n = static_cast<double>(points.size());
  return {sum[0] / n, sum[1] / n, sum[2] / n};
}

// The inner problem: the increment e that puts Q_i + R_i e at distance rE from the centre.
struct IncrementProblem {
  std::span<const Pose> poses;
  std::span<const Vector3> tips;  // Q_i
  Vector3 centre{};
  double expectedSquared = 0.0;  // rE^2

  Vector3 FromCentre(std::size_t i, std::span<const double> e) const {
    const Vector3 turned = Rotate(poses[i], {e[0], e[1], e[2]});
    return {tips[i][0] + turned[0] - centre[0], tips[i][1] + turned[1] - centre[1],
            tips[i][2] + turned[2] - centre[2]};
  }
};

void IncrementModel(std::span<const double> e, std::span<double> hx, void* data) {
  const auto& problem = *static_cast<const IncrementProblem*>(data);
  for (std::size_t i = 0; i < hx.size(); ++i) {
    const Vector3 v = problem.FromCentre(i, e);
    hx[i] = v[0] * v[0] + v[1] * v[1] + v[2] * v[2] - problem.expectedSquared;
  }
}

// d hx_i / d e_k = 2 (Q_i + R_i e - c) . (column k of R_i)
void IncrementJacobian(std::span<const double> e, std::span<double> jacobian, void* data) {
  const auto& problem = *static_cast<const IncrementProblem*>(data);
  const std::size_t n = jacobian.size() / 3;
  for (std::size_t i = 0; i < n; ++i) {
    const Vector3 v = problem.FromCentre(i, e);
    const Pose& pose = problem.poses[i];
    for (std::size_t k = 0; k < 3; ++k) {
      jacobian[3 * i + k] = 2.0 * (v[0] * pose[k] + v[1] * pose[4 + k] + v[2] * pose[8 + k]);
    }
  }
}

// Index of tx in the tool group of a six-parameter chain.
std::size_t ToolTranslationIndex(const ArmRecord& record) {
  const int n = std::clamp(record.jointCount, 0, kMaxJoints);
  const int group = record.options.tableChannel ? n - 1 : n;
  return static_cast<std::size_t>(kSixGroup * std::max(group, 0) + 3);
}

ResidualStatistics Statistics(std::span<const Pose> points) {
  ResidualStatistics statistics;
  double sum = 0.0;
  for (const Pose& point : points) {
    const double residual = point[kResidualElement];
    statistics.minimum = std::min(statistics.minimum, residual);
    statistics.maximum = std::max(statistics.maximum, residual);
    sum += residual;
  }
  statistics.mean = points.empty() ? 0.0 : sum / static_cast<double>(points.size());
  return statistics;
}

// The report's numbers are those the TAB file keeps in its result line: C numbers.
std::string SigmaText(double sigma, const Language& language) {
  return LocalText(kTextSigma, language) + "=" + FixedText(sigma, 3);
}

std::string FilteringLine(const char* pass, int removed, int total, double sigma,
                          const Language& language) {
  return std::string(pass) + " " + std::to_string(removed) + "/" + std::to_string(total) + " " +
         LocalText(kTextPoints, language) + " " + SigmaText(sigma, language);
}

}  // namespace

int FitProbeOffset(ArmRecord& probe, std::span<Pose> points, double probeRadius,
                   double sphereRadius, LevenbergWorkspace& workspace, ProbeOffsetFit& fit) {
  const std::size_t n = points.size();
  if (n < kMinFitPoints) return kCalibrationTooFewPoints;
  if (n > kMaxCalibrationPoints) return kCalibrationTooManyPoints;
  if (probe.modelType != kSixParameterModel) return kCalibrationNoToolTranslation;
  if (workspace.parameterCapacity() < 3 || workspace.measurementCapacity() < static_cast<int>(n)) {
    return kCalibrationTooFewPoints;
  }

  const double expected = sphereRadius != 0.0 ? probeRadius + sphereRadius : 0.0;
  std::array<Vector3, kMaxCalibrationPoints> tipStore;
  const std::span<Vector3> tips(tipStore.data(), n);
  const std::array<double, kMaxCalibrationPoints> zeros{};
  IncrementProblem problem{points, tips, {}, expected * expected};
  Sphere sphere{{}, expected};
  Vector3 d{};

  for (int pass = 0; pass < kOuterPasses; ++pass) {
    for (std::size_t i = 0; i < n; ++i) tips[i] = CorrectedTip(points[i], d);
    if (expected != 0.0) {
      // On a refusal the centre of the previous pass stays.
      FitSphere(tips, sphere, true);
      problem.centre = sphere.centre;
    } else {
      problem.centre = Mean(tips);
    }
    std::array<double, 3> e{};
    LevenbergSummary summary;
    SolveLevenbergMarquardt(IncrementModel, IncrementJacobian, e, std::span(zeros.data(), n),
                            kInnerIterationLimit, kInnerOptions, workspace, summary, &problem);
    for (int axis = 0; axis < 3; ++axis) d[axis] += e[axis];
  }

  const std::size_t tool = ToolTranslationIndex(probe);
  for (std::size_t axis = 0; axis < 3; ++axis) {
    probe.parameters[tool + axis] = static_cast<float>(probe.parameters[tool + axis] + d[axis]);
  }

  for (std::size_t i = 0; i < n; ++i) tips[i] = CorrectedTip(points[i], d);
  Vector3 centre;
  fit.measuredDiameter = 0.0;
  if (expected != 0.0) {
    FitSphere(tips, sphere, false);
    centre = sphere.centre;
    fit.measuredDiameter = 2.0 * (sphere.radius - probeRadius);
  } else {
    centre = Mean(tips);
  }
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const Vector3 v{tips[i][0] - centre[0], tips[i][1] - centre[1], tips[i][2] - centre[2]};
    const double residual = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) - expected;
    points[i][kResidualElement] = residual;
    sum += residual * residual;
  }
  fit.correction = d;
  fit.sigma = std::sqrt(sum / static_cast<double>(n));
  return kCalibrationDone;
}

bool KeptByFilter(double residual, const ResidualStatistics& statistics, double sigma) {
  // Sigma 0: every residual is 0, and there is no outlier to remove.
  return sigma == 0.0 || std::abs(residual - statistics.mean) < sigma;
}

std::string TooFewCalibrationPointsMessage(const Language& language) {
  return LocalText(kTextAcquireAtLeast, language) + " " + std::to_string(kMinCalibrationPoints) +
         " " + LocalText(kTextPoints, language);
}

std::string CalibrationResultLine(double sphereDiameter, const ProbeOffsetFit& fit,
                                  const Language& language) {
  const std::string sigma = SigmaText(fit.sigma, language);
  if (sphereDiameter == 0.0) return LocalText(kTextArmPointCalibration, language) + " " + sigma;
  return LocalText(kTextQualifySphereDiameter, language) + "=" +
         FixedText(fit.measuredDiameter, 3) + " " + sigma;
}

int ComputeProbeCalibration(std::span<const Pose> rawPoints, const ArmRecord& workingRecord,
                            double probeDiameter, double sphereDiameter, ArmRecord& probeCopy,
                            ProbeCalibration& calibration, const Language& language) {
  const int total = static_cast<int>(rawPoints.size());
  if (total < kMinCalibrationPoints) return kCalibrationTooFewPoints;
  if (total > kMaxCalibrationPoints) return kCalibrationTooManyPoints;
  if (workingRecord.modelType != kSixParameterModel) return kCalibrationNoToolTranslation;

  const double probeRadius = probeDiameter * 0.5;
  const double sphereRadius = sphereDiameter * 0.5;
  LevenbergWorkspace workspace(3, kMaxCalibrationPoints);
  auto& working = calibration.workingPoints;
  const auto refit = [&](int count) {
    probeCopy = workingRecord;
    calibration.keptCount = count;
    return FitProbeOffset(probeCopy, std::span(working.data(), static_cast<std::size_t>(count)),
                          probeRadius, sphereRadius, workspace, calibration.fit);
  };
  const auto abandon = [&]() {
    probeCopy = workingRecord;
    calibration.report.push_back(kTooFewKept);
    return kCalibrationTooFewKept;
  };

  std::copy(rawPoints.begin(), rawPoints.end(), working.begin());
  refit(total);
  calibration.report.push_back("");
  calibration.report.push_back(LocalText(kTextReport, language));
  calibration.report.push_back(CalibrationResultLine(sphereDiameter, calibration.fit, language));

  // Pass 1 judges the raw points by the residuals of the fit of all of them.
  calibration.statistics = Statistics(std::span(working.data(), rawPoints.size()));
  int kept = 0;
  for (int i = 0; i < total; ++i) {
    if (KeptByFilter(working[i][kResidualElement], calibration.statistics, calibration.fit.sigma)) {
      working[kept++] = rawPoints[i];
    }
  }
  if (kept < kMinFitPoints) return abandon();
  refit(kept);
  calibration.report.push_back(
      FilteringLine(kFilteringPass1, total - kept, total, calibration.fit.sigma, language));

  // Pass 2 compacts the working points in place by their new residuals.
  calibration.statistics = Statistics(std::span(working.data(), static_cast<std::size_t>(kept)));
  const int keptBefore = kept;
  kept = 0;
  for (int i = 0; i < keptBefore; ++i) {
    if (KeptByFilter(working[i][kResidualElement], calibration.statistics, calibration.fit.sigma)) {
      working[kept++] = working[i];
    }
  }
  if (kept < kMinFitPoints) return abandon();
  refit(kept);
  if (kept < keptBefore) {
    calibration.report.push_back(
        FilteringLine(kFilteringPass2, total - kept, total, calibration.fit.sigma, language));
  }
  return kCalibrationDone;
}

}  // namespace pilvo
