// The points acquisition dialog of the arm point and ball-bar calibrations: a thin view of the
// PointsAcquisition model with its 100 ms timer, the probe tip, the point list, the bar length,
// the plots and the report buttons.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "wizard/model/points_acquisition.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace pilvo::wizard {

class AcquisitionPlotView;

class PointsAcquisitionDialog final : public QDialog {
 public:
  // What Report Preview and Print Report do with the acquisition's report; an action left unset
  // makes its button do nothing.
  struct ReportActions {
    std::function<void(const ReportFile& report)> preview;
    std::function<void(const ReportFile& report)> print;
  };

  // `session` is connected; `showReading` shows each reading in the main window.
  PointsAcquisitionDialog(ArmSession& session, AcquisitionKind kind,
                          PointsAcquisition::ReadingShown showReading,
                          PointsAcquisition::ReportWriter writeReport, ReportActions actions,
                          QWidget* parent);
  ~PointsAcquisitionDialog() override;

  const PointsAcquisition& model() const { return *model_; }
  QTimer& timer() { return timer_; }

  // Escape and the title bar's close button act as Cancel.
  void reject() override;

 private:
  // Runs a model call with the timer stopped (its message boxes run their own loops), shows the
  // model's state, and ends the dialog when the model has ended.
  template <typename Call>
  void Forward(Call call);
  void Refresh();
  void ShowPoints();
  void RunReport(const std::function<void(const ReportFile&)>& action, bool printing);
  void EditReportOptions();

  std::unique_ptr<PointsAcquisition> model_;
  ReportActions actions_;
  QTimer timer_;
  int shownRevision_ = -1;
  QLabel* instruction_;
  std::array<QLabel*, 3> position_{};
  QListWidget* points_;
  QLabel* barLabel_;
  QLineEdit* barLength_;
  QLabel* barUnit_;
  QPushButton* acceptBarLength_;
  std::array<QLabel*, 3> plotLabels_{};
  std::array<AcquisitionPlotView*, 3> plots_{};
  QLabel* limitIcon_;
  QPushButton* preview_;
  QPushButton* print_;
  QPushButton* options_;
  QPushButton* next_;
  QPushButton* cancel_;
};

}  // namespace pilvo::wizard
