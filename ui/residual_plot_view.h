// The residuals of the last probe calibration, drawn in the probes window's frame: the kept
// points' residuals as a red line, scaled to span the frame, on yellow when they spread over a
// millimetre or more.
#pragma once

#include <QFrame>

#include "dialogs/calibration_acquisition.h"

namespace pilvo {

class ResidualPlotView : public QFrame {
 public:
  explicit ResidualPlotView(QWidget* parent = nullptr);

  // An empty plot draws nothing but the frame.
  void SetPlot(ResidualPlot plot);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ResidualPlot plot_;
};

}  // namespace pilvo
