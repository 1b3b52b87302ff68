// Redrawing the plots of the points acquisition dialog with a full zone of 1000 points: the
// geometry of the three axis plots of a point zone (or the distance plot of a bar zone) at the
// dialog's plot size, alone and painted onto an image as the dialog paints its frames.
// Runs on the offscreen platform when no display is set.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <random>
#include <vector>

#include "wizard/acquisition_plot_view.h"
#include "wizard/model/acquisition_plots.h"

namespace pilvo::wizard {
namespace {

constexpr int kPlotWidth = 510;  // px, the plot frames of the dialog at its usual size
constexpr int kPlotHeight = 150;

// A point repeated 1000 times within a few tenths of a millimetre.
std::vector<ReportPoint> RepeatedPoint() {
  std::mt19937 random(7);
  std::normal_distribution<double> scatter(0.0, 0.08);
  std::vector<ReportPoint> points(kMaxZonePoints);
  for (ReportPoint& point : points) {
    point.position = {412.0 + scatter(random), -96.5 + scatter(random), 230.25 + scatter(random)};
  }
  return points;
}

// Arg 0: the geometry alone; 1: painted as well. Arg 1: 0 the point zone, 1 the bar zone.
void BM_AcquisitionPlots(benchmark::State& state) {
  const bool painted = state.range(0) != 0;
  const bool bar = state.range(1) != 0;
  const std::vector<ReportPoint> points = RepeatedPoint();
  const Point3 centre{0.0, 0.0, 0.0};
  const AxisRanges ranges = bar ? DistanceRanges(points, centre) : RangesOf(points);
  const double barLength = (ranges.minimum[0] + ranges.maximum[0]) / 2.0;
  QImage image(kPlotWidth + 2, kPlotHeight + 2, QImage::Format_ARGB32_Premultiplied);
  const QRect area(1, 1, kPlotWidth, kPlotHeight);
  const int plots = bar ? 1 : 3;
  for (auto _ : state) {
    for (int plot = 0; plot < plots; ++plot) {
      const PlotGeometry geometry =
          bar ? DistancePlot(points, centre, barLength, ranges, PlotSizeOf(area))
              : AxisPlot(points, plot, ranges, PlotSizeOf(area));
      if (painted) {
        QPainter painter(&image);
        PaintAcquisitionPlot(painter, area, geometry);
      }
      benchmark::DoNotOptimize(geometry.line.data());
    }
  }
  state.counters["points"] = static_cast<double>(points.size());
}
BENCHMARK(BM_AcquisitionPlots)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"painted", "bar"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace pilvo::wizard

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QGuiApplication application(argc, argv);  // the fonts of the labels
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
