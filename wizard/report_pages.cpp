#include "wizard/report_pages.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPolygonF>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <cmath>
#include <span>

#include "data/number_text.h"
#include "platform/atomic_file.h"
#include "ui/qt_prompts.h"

namespace pilvo::wizard {
namespace {

// Layout in millimetres of an A4 page inside its margins; other pages scale it by their width.
constexpr double kMargin = 15.0;
constexpr double kLayoutWidth = 210.0 - 2 * kMargin;
constexpr double kHeaderSize = 3.5;  // font heights
constexpr double kTitleSize = 7.0;
constexpr double kSectionSize = 4.8;
constexpr double kTextSize = 4.2;
constexpr double kFooterSize = 3.5;
constexpr double kTitleTop = 12.0;
constexpr double kLineStep = 7.5;
constexpr double kValueGap = 3.0;
constexpr double kLogoScale = 0.4;
constexpr double kFooterHeight = 16.0;
constexpr double kPlotTop = 32.0;
constexpr double kPlotHeight = 180.0;
constexpr double kPlotLabelWidth = 22.0;  // left of the frame: the reference labels
constexpr double kPlotPad = 5.0;  // inside the frame, before the first and after the last point
constexpr double kPlotHeadroom = 1.25;  // the frame spans this much of the half-span each side
constexpr int kMostPointLabels = 20;
const QColor kFooterBlue(0, 51, 153);

constexpr int kProgramNameText = 57344;
constexpr int kReportPreviewText = 2233;

// Millimetres of the layout to the painter's units on one page.
class PageScale {
 public:
  explicit PageScale(const QRectF& page) : page_(page), unit_(page.width() / kLayoutWidth) {}
  double operator()(double millimetres) const { return millimetres * unit_; }
  double x(double millimetres) const { return page_.left() + (*this)(millimetres); }
  double y(double millimetres) const { return page_.top() + (*this)(millimetres); }
  const QRectF& page() const { return page_; }
  double heightInMillimetres() const { return page_.height() / unit_; }

  QFont Font(double height, bool bold = false) const {
    QFont font;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround((*this)(height)))));
    font.setBold(bold);
    return font;
  }

 private:
  QRectF page_;
  double unit_;
};

void DrawText(QPainter& painter, const QFont& font, const QPointF& baseline,
              std::string_view text) {
  painter.setFont(font);
  painter.drawText(baseline, ToQString(text));
}

void DrawHeader(QPainter& painter, const PageScale& scale, std::string_view header) {
  painter.setFont(scale.Font(kHeaderSize));
  painter.drawText(scale.page(), Qt::AlignRight | Qt::AlignTop, ToQString(header));
}

// The logo at 0.4 of its printed size (its own resolution, else the screen's), shrunk further
// only when it would run into the footer; its name when it cannot be loaded.
void DrawLogo(QPainter& painter, const PageScale& scale, double top, double bottom,
              const std::filesystem::path& logo) {
  const QImage image(QString::fromStdString(logo.string()));
  if (image.isNull()) {
    DrawText(painter, scale.Font(kTextSize), {scale.x(0), scale.y(top + kTextSize)},
             kMissingLogoText);
    return;
  }
  const double dotsPerMillimetre =
      image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() / 1000.0 : 96.0 / 25.4;
  QSizeF size = QSizeF(image.size()) * (kLogoScale / dotsPerMillimetre);
  const QSizeF room(kLayoutWidth, std::max(1.0, bottom - top));
  if (size.width() > room.width() || size.height() > room.height()) {
    size.scale(room, Qt::KeepAspectRatio);
  }
  painter.drawImage(QRectF(scale.x(0), scale.y(top), scale(size.width()), scale(size.height())),
                    image);
}

void DrawFooter(QPainter& painter, const PageScale& scale,
                const CalibrationReportContent& content) {
  const QRectF box(scale.page().left(), scale.page().bottom() - scale(kFooterHeight),
                   scale.page().width(), scale(kFooterHeight));
  painter.fillRect(box, kFooterBlue);
  painter.setPen(Qt::white);
  painter.setFont(scale.Font(kFooterSize));
  const QRectF upper(box.left(), box.top(), box.width(), box.height() / 2);
  painter.drawText(upper, Qt::AlignHCenter | Qt::AlignBottom, ToQString(content.makerAddress));
  painter.drawText(upper.translated(0, box.height() / 2), Qt::AlignHCenter | Qt::AlignTop,
                   ToQString(content.makerContact));
  painter.setPen(Qt::black);
}

void DrawFirstPage(QPainter& painter, const PageScale& scale,
                   const CalibrationReportContent& content) {
  DrawHeader(painter, scale, kFirstPageHeader);
  const std::vector<ReportLine> lines = FirstPageLines(content);
  const QFont text = scale.Font(kTextSize);
  const QFont value = scale.Font(kTextSize, true);
  double valueColumn = 0;
  const QFontMetricsF metrics(text, painter.device());
  for (const ReportLine& line : lines) {
    if (line.kind == ReportLine::Kind::Item) {
      valueColumn = std::max(valueColumn, metrics.horizontalAdvance(ToQString(line.label)));
    }
  }
  valueColumn += scale(kValueGap);

  double baseline = kTitleTop;
  for (const ReportLine& line : lines) {
    switch (line.kind) {
      case ReportLine::Kind::Title:
        DrawText(painter, scale.Font(kTitleSize, true), {scale.x(0), scale.y(baseline)},
                 line.label);
        baseline += kLineStep;
        break;
      case ReportLine::Kind::Section:
        baseline += kLineStep / 2;
        DrawText(painter, scale.Font(kSectionSize, true), {scale.x(0), scale.y(baseline)},
                 line.label);
        break;
      case ReportLine::Kind::Item:
        DrawText(painter, text, {scale.x(0), scale.y(baseline)}, line.label);
        DrawText(painter, value, {scale.x(0) + valueColumn, scale.y(baseline)}, line.value);
        break;
    }
    baseline += kLineStep;
  }
  DrawLogo(painter, scale, baseline, scale.heightInMillimetres() - kFooterHeight - kLineStep,
           content.logo);
  DrawFooter(painter, scale, content);
}

// Point i of n across the frame, the line of the nominal length through its middle.
QPointF PlotPoint(const QRectF& frame, double inset, std::size_t i, std::size_t n, double error,
                  double unitsPerMillimetreOfError) {
  const double x =
      n > 1 ? frame.left() + inset +
                  (frame.width() - 2 * inset) * static_cast<double>(i) / static_cast<double>(n - 1)
            : frame.center().x();
  return {x, frame.center().y() - error * unitsPerMillimetreOfError};
}

void DrawErrorPlot(QPainter& painter, const PageScale& scale,
                   const CalibrationReportContent& content) {
  const QRectF frame(scale.x(kPlotLabelWidth), scale.y(kPlotTop),
                     scale.page().width() - scale(kPlotLabelWidth), scale(kPlotHeight));
  const std::span<const double> errors = content.pointErrors;
  const double halfSpan = ErrorPlotHalfSpan(errors);
  const double errorScale = frame.height() / 2 / (halfSpan * kPlotHeadroom);
  const QFont labels = scale.Font(kHeaderSize);
  painter.setFont(labels);

  // The nominal length through the middle, named inside the frame since its text is the
  // longest, then the reference lines at half and all of the half-span.
  const QRectF labelColumn(scale.page().left(), 0, scale(kPlotLabelWidth - 1.5),
                           scale(kHeaderSize * 2));
  const auto drawLevel = [&](double error, const std::string& label, Qt::PenStyle style) {
    const double y = frame.center().y() - error * errorScale;
    painter.setPen(QPen(Qt::darkGray, scale(0.2), style));
    painter.drawLine(QPointF(frame.left(), y), QPointF(frame.right(), y));
    painter.setPen(Qt::black);
    painter.drawText(labelColumn.translated(0, y - labelColumn.height() / 2),
                     Qt::AlignRight | Qt::AlignVCenter, ToQString(label));
  };
  drawLevel(0, {}, Qt::SolidLine);
  painter.drawText(
      QRectF(frame.left() + scale(1), frame.top(), frame.width(), frame.height() / 2 - scale(0.5)),
      Qt::AlignLeft | Qt::AlignBottom, ToQString(FixedText(content.barLength, 3) + " mm"));
  for (const double level : {halfSpan / 2, halfSpan}) {
    drawLevel(level, UpperReferenceLabel(level), Qt::DashLine);
    drawLevel(-level, LowerReferenceLabel(level), Qt::DashLine);
  }

  const std::size_t n = errors.size();
  const double inset = scale(kPlotPad);
  const std::size_t labelStep = (n + kMostPointLabels - 1) / kMostPointLabels;
  QPolygonF line;
  for (std::size_t i = 0; i < n; ++i) {
    const QPointF point =
        PlotPoint(frame, inset, i, n, std::isfinite(errors[i]) ? errors[i] : 0, errorScale);
    if (std::isfinite(errors[i])) line << point;
    if (i % labelStep == 0) {
      const QRectF below(point.x() - scale(5), frame.bottom() + scale(1), scale(10),
                         scale(kHeaderSize * 1.5));
      painter.drawText(below, Qt::AlignHCenter | Qt::AlignTop, QString::number(i + 1));
    }
  }
  painter.save();
  painter.setClipRect(frame);
  painter.setPen(QPen(Qt::red, scale(0.4)));
  painter.drawPolyline(line);
  painter.setBrush(Qt::red);
  for (const QPointF& point : line) painter.drawEllipse(point, scale(0.6), scale(0.6));
  painter.restore();

  painter.setPen(QPen(Qt::black, scale(0.3)));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(frame);
}

void DrawSecondPage(QPainter& painter, const PageScale& scale,
                    const CalibrationReportContent& content) {
  DrawHeader(painter, scale, kSecondPageHeader);
  DrawText(painter, scale.Font(kTitleSize, true), {scale.x(0), scale.y(kTitleTop)},
           LabelsOf(content).lengthTitle);
  DrawErrorPlot(painter, scale, content);
}

// A4 with our margins, named after the program.
void SetUpPages(QPagedPaintDevice& device) {
  device.setPageSize(QPageSize(QPageSize::A4));
  device.setPageMargins(QMarginsF(kMargin, kMargin, kMargin, kMargin), QPageLayout::Millimeter);
}

QString ProgramName() {
  return ToQString(LocalText(kProgramNameText, Language(kEnglish)));
}

bool Render(QPagedPaintDevice& device, const CalibrationReportContent& content) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  DrawCalibrationReport(painter, device, content);
  return painter.end();
}

void SetUpPrinter(QPrinter& printer) {
  SetUpPages(printer);
  printer.setDocName(ProgramName());
}

}  // namespace

void DrawCalibrationReportPage(QPainter& painter, const QRectF& page, int index,
                               const CalibrationReportContent& content) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::black);
  const PageScale scale(page);
  if (index == 0) {
    DrawFirstPage(painter, scale, content);
  } else {
    DrawSecondPage(painter, scale, content);
  }
  painter.restore();
}

void DrawCalibrationReport(QPainter& painter, QPagedPaintDevice& device,
                           const CalibrationReportContent& content) {
  const QRectF page(0, 0, device.width(), device.height());
  DrawCalibrationReportPage(painter, page, 0, content);
  device.newPage();
  DrawCalibrationReportPage(painter, page, 1, content);
}

void PreviewCalibrationReport(QWidget* parent, const CalibrationReportContent& content,
                              const Language& language) {
  QPrinter printer(QPrinter::HighResolution);
  SetUpPrinter(printer);
  QPrintPreviewDialog preview(&printer, parent);
  preview.setWindowTitle(QStringLiteral("PilvoWIZARD ") +
                         ToQString(LocalText(kReportPreviewText, language)));
  preview.setAccessibleName(preview.windowTitle());
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                   [&content](QPrinter* target) { Render(*target, content); });
  preview.exec();
}

bool PrintCalibrationReport(QWidget* parent, const CalibrationReportContent& content) {
  QPrinter printer(QPrinter::HighResolution);
  SetUpPrinter(printer);
  QPrintDialog dialog(&printer, parent);
  dialog.setAccessibleName(dialog.windowTitle());
  if (dialog.exec() != QDialog::Accepted) return false;
  return Render(printer, content);
}

std::error_code SaveCalibrationReportPdf(const std::filesystem::path& path,
                                         const CalibrationReportContent& content) {
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    SetUpPages(writer);
    writer.setTitle(ProgramName());
    writer.setCreator(ProgramName());
    if (!Render(writer, content)) return std::make_error_code(std::errc::io_error);
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  return WriteFileAtomically(path, {data, static_cast<std::size_t>(bytes.size())});
}

std::filesystem::path ReportLogoPath() {
  const std::filesystem::path program = QCoreApplication::applicationDirPath().toStdString();
  const std::filesystem::path besideProgram = program / kReportLogoName;
  const std::filesystem::path installed =
      (program / PILVO_WIZARD_DATA_FROM_BINDIR / kReportLogoName).lexically_normal();
  std::error_code ignored;
  if (!std::filesystem::exists(besideProgram, ignored) &&
      std::filesystem::exists(installed, ignored)) {
    return installed;
  }
  return besideProgram;
}

}  // namespace pilvo::wizard
