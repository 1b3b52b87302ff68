#include "wizard/model/points_acquisition.h"

#include <ctime>

#include "data/local_text.h"
#include "data/number_text.h"
#include "data/settings.h"
#include "session/arm_session.h"

namespace pilvo::wizard {
namespace {

constexpr std::string_view kCaption = kWizardCaption;
constexpr std::string_view kInsertBarLength = "_Insert the bar length";
constexpr std::string_view kSaveFailed = "Errore in Salva REP";
constexpr std::string_view kBarLengthSection = "REPORT";
constexpr std::string_view kBarLengthKey = "BarLength";

constexpr int kTextPointCalibration = 2116;
constexpr int kTextBallBarCalibration = 2117;
constexpr int kTextAcquisition = 2325;
constexpr int kTextNoPoints = 2326;
constexpr int kTextAcquireZone = 2328;
constexpr int kTextZoneTypes = 2330;  // + the zone type
constexpr int kTextDistance = 2336;
constexpr int kTextInCalibration = 2429;
constexpr int kTextZoneFull = 2460;
constexpr int kTextTypeBarLength = 2461;

std::string Coordinates(const Point3& position, int decimals) {
  return FixedText(position[0], decimals) + ", " + FixedText(position[1], decimals) + ", " +
         FixedText(position[2], decimals);
}

// An empty text reads back as the file's "?".
std::string StoredText(std::string text) {
  text = OneLineText(std::move(text));
  return text.empty() ? "?" : text;
}

}  // namespace

PointsAcquisition::PointsAcquisition(ArmSession& session, AcquisitionKind kind,
                                     ReadingShown showReading, SaveFileChooser chooseFile,
                                     ReportWriter writeReport)
    : session_(session),
      showReading_(std::move(showReading)),
      chooseFile_(std::move(chooseFile)),
      writeReport_(std::move(writeReport)) {
  zones_.push_back({ZoneType::Point, {}});
  if (kind == AcquisitionKind::BallBar) zones_.push_back({ZoneType::Bar, {}});
  // A stored text that is not a length counts as none.
  const std::string stored =
      GetSettingString(kBarLengthSection, kBarLengthKey, "0.0", session_.context().productStore());
  barLength_ = ParseLength(stored).value_or(0.0);
  display_.barLengthText = GeneralText(barLength_);
  typedBarLength_ = display_.barLengthText;
  display_.title = Text(zones_.size() == 1 ? kTextPointCalibration : kTextBallBarCalibration);
  display_.position.fill(" - - -");
  ShowZone();
}

const Language& PointsAcquisition::language() const {
  return session_.language();
}

std::string PointsAcquisition::Text(int id) const {
  return LocalText(id, language());
}

void PointsAcquisition::ShowZone() {
  display_.instruction = Text(kTextAcquireZone) + " " + std::to_string(zoneIndex_ + 1) + "/" +
                         std::to_string(zones_.size()) + " (" +
                         Text(kTextZoneTypes + static_cast<int>(zone().type)) + ")";
  display_.pointLines.clear();
  display_.barLengthShown = InBarZone();
  display_.plotLabels = InBarZone() ? std::vector<std::string>{Text(kTextDistance)}
                                    : std::vector<std::string>{"X", "Y", "Z"};
  ZoneChanged();
  if (InBarZone() && barLength_ < 1.0) {
    session_.prompts().ShowMessage(kInsertBarLength, kCaption, MessageIcon::Error);
  }
}

void PointsAcquisition::ZoneChanged() {
  const std::vector<ReportPoint>& points = zone().points;
  ranges_ = InBarZone() ? DistanceRanges(points, centre_) : RangesOf(points);
  if (zoneIndex_ == 0) centre_ = CentreOf(ranges_);
  display_.reportButtons = InBarZone() && !points.empty();
  ++display_.plotRevision;
}

PlotGeometry PointsAcquisition::Plot(std::size_t index, PlotSize size) const {
  if (InBarZone()) {
    return index == 0 ? DistancePlot(zone().points, centre_, barLength_, ranges_, size)
                      : PlotGeometry{};
  }
  return index < 3 ? AxisPlot(zone().points, static_cast<int>(index), ranges_, size)
                   : PlotGeometry{};
}

void PointsAcquisition::Tick() {
  if (!ticking()) return;
  Pose pose{};
  std::int32_t status = 0;
  if (session_.LeggeQuota(pose, status) < 0) {
    // As the Cancel button: points taken are not dropped without asking, and a dialog kept
    // open reads again at the next tick.
    readingFailed_ = true;
    Cancel();
    return;
  }
  if (showReading_) showReading_(pose, status);
  for (int axis = 0; axis < 3; ++axis) display_.position[axis] = FixedText(pose[axis * 4 + 3], 3);
  // A press made while a joint is outside its limits is spent: it takes no point later.
  const std::int32_t pressed = status & ~buttons_;
  buttons_ = status;
  display_.limitIcon = session_.state().reading.limitMask != 0;
  if (display_.limitIcon) {
    session_.prompts().Beep();
    return;
  }
  if ((pressed & reading_status::kButton1) != 0) TakePoint(pose);
  if ((pressed & reading_status::kButton2) != 0) DropPoint();
}

void PointsAcquisition::TakePoint(const Pose& pose) {
  std::vector<ReportPoint>& points = zones_[static_cast<std::size_t>(zoneIndex_)].points;
  if (points.size() >= static_cast<std::size_t>(kMaxZonePoints)) {
    session_.prompts().ShowMessage(Text(kTextZoneFull), kCaption, MessageIcon::Error);
    return;
  }
  session_.prompts().Beep();
  ReportPoint point;
  point.position = {pose[3], pose[7], pose[11]};
  // A sensor that gives no temperature keeps the ambient one, as the reading does.
  const ArmRecord& record = session_.state().working;
  point.temperatures.fill(record.ambientTemperature);
  if (record.temperatureSensors != 0) session_.board().TakeReportedTemperatures(point.temperatures);
  session_.ReadJointCounts(point.jointCounts);
  points.push_back(point);
  ZoneChanged();
  const std::string number = std::to_string(points.size()) + ":  ";
  display_.pointLines.push_back(InBarZone()
                                    ? number + Coordinates(point.position, 2) + " (" +
                                          FixedText(DistanceFrom(centre_, point.position), 3) + ")"
                                    : number + Coordinates(point.position, 3));
}

void PointsAcquisition::DropPoint() {
  std::vector<ReportPoint>& points = zones_[static_cast<std::size_t>(zoneIndex_)].points;
  if (points.empty()) {
    ++display_.plotRevision;
    return;
  }
  session_.prompts().Beep();
  points.pop_back();
  display_.pointLines.pop_back();
  ZoneChanged();
}

bool PointsAcquisition::RefuseEmptyZone() {
  if (!zone().points.empty()) return false;
  session_.prompts().ShowMessage(Text(kTextNoPoints), Text(kTextAcquisition), MessageIcon::Error);
  return true;
}

void PointsAcquisition::Next() {
  if (end_ != AcquisitionEnd::Running || RefuseEmptyZone()) return;
  if (static_cast<std::size_t>(zoneIndex_) + 1 < zones_.size()) {
    ++zoneIndex_;
    ShowZone();
    return;
  }
  Save();
}

void PointsAcquisition::Save() {
  // The arm is not read again until the dialog ends: a cancelled save dialog leaves the last
  // zone as it was, and Next offers the save again.
  ticking_ = false;
  const std::optional<std::filesystem::path> path = chooseFile_();
  if (!path) return;
  if (writeReport_(*path, Report()) != ReportError::None) {
    session_.prompts().ShowMessage(kSaveFailed, kCaption, MessageIcon::Error);
    return;
  }
  Finish(AcquisitionEnd::Saved);
}

bool PointsAcquisition::Cancel() {
  if (end_ != AcquisitionEnd::Running) return true;
  if (!zone().points.empty() && !session_.prompts().AskYesNo(Text(kTextInCalibration), kCaption)) {
    return false;
  }
  Finish(AcquisitionEnd::Cancelled);
  return true;
}

void PointsAcquisition::Finish(AcquisitionEnd end) {
  end_ = end;
  WriteSettingString(kBarLengthSection, kBarLengthKey, FixedText(barLength_, 6),
                     session_.context().productStore());
}

void PointsAcquisition::EditBarLength(std::string_view text) {
  if (text.empty()) return;
  typedBarLength_ = text;
  if (const std::optional<double> length = ParseLength(text)) barLength_ = *length;
  display_.acceptBarLengthShown = true;
}

void PointsAcquisition::AcceptBarLength() {
  display_.acceptBarLengthShown = false;
  ++display_.plotRevision;
  if (!ParseLength(typedBarLength_)) {
    session_.prompts().ShowMessage(Text(kTextTypeBarLength), kCaption, MessageIcon::Error);
  }
}

void PointsAcquisition::SetReportText(ReportText which, std::string text) {
  texts_[static_cast<std::size_t>(which)] = StoredText(std::move(text));
}

std::optional<ReportFile> PointsAcquisition::ReportForPages(bool printing, std::time_t now) {
  if (RefuseEmptyZone()) return std::nullopt;
  if (printing) {
    std::tm day{};
    localtime_r(&now, &day);
    texts_[kIssueDate] = texts_[kMeasuringDate] = ReportDate(day);
  }
  return Report();
}

ReportFile PointsAcquisition::Report() const {
  ReportFile report;
  report.tab = session_.state().tab;
  report.zones = zones_;
  report.texts = texts_;
  report.language = session_.language().code();
  report.barLength = barLength_;
  return report;
}

}  // namespace pilvo::wizard
