// A plot of the points acquisition dialog: the frame, and inside it, when the model draws the
// plot at the frame's size, the background, the grid, the centre line, the red line of the
// points and the two deviation labels.
#pragma once

#include <QFrame>
#include <functional>

#include "wizard/model/acquisition_plots.h"

class QPainter;

namespace pilvo::wizard {

// Paints `plot` into `area` (whose size the plot was computed for, less one pixel each way).
void PaintAcquisitionPlot(QPainter& painter, const QRect& area, const PlotGeometry& plot);

// The size a plot is computed for to fill `area`.
PlotSize PlotSizeOf(const QRect& area);

class AcquisitionPlotView final : public QFrame {
 public:
  // `source` gives the plot at a size; it is asked at every paint.
  AcquisitionPlotView(const QString& name, std::function<PlotGeometry(PlotSize)> source,
                      QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::function<PlotGeometry(PlotSize)> source_;
};

}  // namespace pilvo::wizard
