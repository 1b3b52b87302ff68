#include "wizard/acquisition_plot_view.h"

#include <QPainter>
#include <vector>

#include "ui/qt_prompts.h"

namespace pilvo::wizard {
namespace {

constexpr int kLabelMargin = 2;  // px

}  // namespace

PlotSize PlotSizeOf(const QRect& area) {
  return {static_cast<double>(area.width() - 1), static_cast<double>(area.height() - 1)};
}

void PaintAcquisitionPlot(QPainter& painter, const QRect& area, const PlotGeometry& plot) {
  if (!plot.drawn) return;
  painter.fillRect(area, plot.wide ? Qt::yellow : Qt::white);
  painter.save();
  painter.translate(area.topLeft());
  const double width = area.width() - 1;
  painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
  for (const double y : plot.gridYs) painter.drawLine(QLineF(0.0, y, width, y));
  painter.setPen(QPen(Qt::blue, 1));
  painter.drawLine(QLineF(0.0, plot.centreY, width, plot.centreY));
  // Segment by segment: stroking a 2 px polyline of a thousand vertices as one path costs some
  // thirty times more.
  std::vector<QLineF> segments;
  segments.reserve(plot.line.size());
  for (std::size_t i = 1; i < plot.line.size(); ++i) {
    segments.emplace_back(plot.line[i - 1].x, plot.line[i - 1].y, plot.line[i].x, plot.line[i].y);
  }
  painter.setPen(QPen(Qt::red, 2));
  painter.drawLines(segments.data(), static_cast<int>(segments.size()));
  painter.setPen(Qt::black);
  const QRect labels(kLabelMargin, 0, area.width() - kLabelMargin, area.height());
  painter.drawText(labels, Qt::AlignLeft | Qt::AlignTop, ToQString(plot.topLabel));
  painter.drawText(labels, Qt::AlignLeft | Qt::AlignBottom, ToQString(plot.bottomLabel));
  painter.restore();
}

AcquisitionPlotView::AcquisitionPlotView(const QString& name,
                                         std::function<PlotGeometry(PlotSize)> source,
                                         QWidget* parent)
    : QFrame(parent), source_(std::move(source)) {
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setAccessibleName(name);
  setMinimumSize(240, 90);
}

void AcquisitionPlotView::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  const QRect area = contentsRect();
  PaintAcquisitionPlot(painter, area, source_(PlotSizeOf(area)));
}

}  // namespace pilvo::wizard
