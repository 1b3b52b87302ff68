// The points acquisition of the wizard's two accuracy tests. The arm point calibration fills one
// point zone: the spread of a repeated point on each axis. The ball-bar calibration fills a point
// zone on the bar's fixed end (its mid-range is the centre), then a bar zone at the other end,
// whose distances from the centre are compared with the nominal bar length. Every 100 ms tick
// reads the arm: button 1 takes a point, button 2 drops the last one. The end saves the whole
// acquisition as a report file. The dialog only shows display() and the plots and forwards its
// timer and controls here.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/local_text.h"
#include "data/report_file.h"
#include "measure/transforms.h"
#include "wizard/model/acquisition_plots.h"
#include "wizard/model/acquisition_results.h"
#include "wizard/model/report_content.h"

namespace pilvo {
class ArmSession;
}

namespace pilvo::wizard {

inline constexpr int kAcquisitionTickMs = 100;

enum class AcquisitionKind {
  Point,    // one point zone
  BallBar,  // a point zone, then a bar zone
};

enum class AcquisitionEnd {
  Running,
  Saved,      // the report file is written
  Cancelled,  // by the operator, or by a failed reading
};

struct AcquisitionDisplay {
  std::string title;
  std::string instruction;              // "Acquire zone 1/2 (POINT type)"
  std::array<std::string, 3> position;  // X, Y, Z of the last reading
  std::vector<std::string> pointLines;  // the current zone's; the last one is selected
  std::vector<std::string> plotLabels;  // "X", "Y", "Z", or "Distance" alone in a bar zone
  bool barLengthShown = false;          // the bar-length controls, in a bar zone
  std::string barLengthText;            // the stored length, to start the field with
  bool acceptBarLengthShown = false;    // "»": a typed length waits to be drawn
  bool limitIcon = false;               // a joint is outside its limits: no point is taken
  bool reportButtons = false;           // preview, print and options: a bar zone with points
  int plotRevision = 0;                 // changes whenever the plots are to be drawn again
};

class PointsAcquisition {
 public:
  // The main window shows every reading the acquisition makes.
  using ReadingShown = std::function<void(const Pose& pose, std::int32_t status)>;
  // The save dialog of the report file (kReportFileFilter, ".rep"): a path, or nothing on Cancel.
  using SaveFileChooser = std::function<std::optional<std::filesystem::path>()>;
  using ReportWriter =
      std::function<ReportError(const std::filesystem::path& path, const ReportFile& report)>;

  // `session` is the wizard's, connected; the bar length is read from its product store.
  PointsAcquisition(ArmSession& session, AcquisitionKind kind, ReadingShown showReading,
                    SaveFileChooser chooseFile, ReportWriter writeReport);

  const AcquisitionDisplay& display() const { return display_; }
  AcquisitionEnd end() const { return end_; }
  bool readingFailed() const { return readingFailed_; }
  // Whether the 100 ms timer runs: not once the save dialog was shown, until the dialog ends.
  bool ticking() const { return ticking_ && end_ == AcquisitionEnd::Running; }
  int zoneIndex() const { return zoneIndex_; }
  const std::vector<ReportZone>& zones() const { return zones_; }
  const ReportZone& zone() const { return zones_[static_cast<std::size_t>(zoneIndex_)]; }
  // Of the current zone; in a bar zone element 0 holds the distances from the centre.
  const AxisRanges& ranges() const { return ranges_; }
  // The mid-range of the point zone: the fixed end of the bar.
  const Point3& centre() const { return centre_; }
  double barLength() const { return barLength_; }
  const std::array<std::string, kReportTexts>& reportTexts() const { return texts_; }
  // The session's: the language of the texts.
  const Language& language() const;

  // Plot `index` of display().plotLabels at `size`.
  PlotGeometry Plot(std::size_t index, PlotSize size) const;

  void Tick();
  // To the next zone, or after the last one to the report file.
  void Next();
  // True when the acquisition ends; points taken in the zone are confirmed first.
  bool Cancel();
  // The bar-length field changed; an empty field changes nothing.
  void EditBarLength(std::string_view text);
  // "»": the plots with the typed length, or a message when it is not a length.
  void AcceptBarLength();
  void SetReportText(ReportText which, std::string text);
  // What the report pages show, or nothing (after "Points not acquired") without points in the
  // zone. Printing dates the report today.
  std::optional<ReportFile> ReportForPages(bool printing, std::time_t now);

 private:
  std::string Text(int id) const;
  bool InBarZone() const { return zone().type == ZoneType::Bar; }
  void ShowZone();
  void ZoneChanged();
  void TakePoint(const Pose& pose);
  void DropPoint();
  bool RefuseEmptyZone();
  void Save();
  ReportFile Report() const;
  void Finish(AcquisitionEnd end);

  ArmSession& session_;
  ReadingShown showReading_;
  SaveFileChooser chooseFile_;
  ReportWriter writeReport_;
  std::vector<ReportZone> zones_;
  int zoneIndex_ = 0;
  AxisRanges ranges_;
  Point3 centre_{};
  double barLength_ = 0.0;
  std::string typedBarLength_;
  std::array<std::string, kReportTexts> texts_{"?", "?", "?", "?", "?", "?"};
  std::int32_t buttons_ = 0;
  bool ticking_ = true;
  bool readingFailed_ = false;
  AcquisitionEnd end_ = AcquisitionEnd::Running;
  AcquisitionDisplay display_;
};

}  // namespace pilvo::wizard
