#include "ui/residual_plot_view.h"

#include <QPainter>
#include <QPolygonF>

#include "data/number_text.h"
#include "ui/qt_prompts.h"

namespace pilvo {
namespace {

constexpr int kLabelMargin = 2;  // px

QString Millimetres(double value) {
  return ToQString(FixedText(value, 3));
}

}  // namespace

ResidualPlotView::ResidualPlotView(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setAccessibleName(QStringLiteral("Residuals"));
}

void ResidualPlotView::SetPlot(ResidualPlot plot) {
  plot_ = std::move(plot);
  update();
}

void ResidualPlotView::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (plot_.residuals.empty()) return;
  const QRect area = contentsRect();
  QPainter painter(this);
  painter.fillRect(area, plot_.wideSpread ? Qt::yellow : Qt::white);
  painter.setPen(Qt::black);
  const QRect labels = area.adjusted(kLabelMargin, 0, 0, 0);
  painter.drawText(labels, Qt::AlignLeft | Qt::AlignTop, Millimetres(plot_.maximum));
  painter.drawText(labels, Qt::AlignLeft | Qt::AlignBottom, Millimetres(plot_.minimum));

  const double last = static_cast<double>(plot_.residuals.size() - 1);
  const double width = area.width() - 1;
  const double height = area.height() - 1;
  const double span = plot_.maximum - plot_.minimum;
  QPolygonF line;
  for (std::size_t i = 0; i < plot_.residuals.size(); ++i) {
    line << QPointF(area.left() + width * static_cast<double>(i) / last,
                    area.top() + height * (plot_.maximum - plot_.residuals[i]) / span);
  }
  painter.setPen(QPen(Qt::red, 1));
  painter.drawPolyline(line);
}

}  // namespace pilvo
