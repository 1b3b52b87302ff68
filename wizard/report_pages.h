// The two pages of a ball-bar calibration report on paper, in the print preview or in a PDF file:
// page 1 identifies the arm and gives its length errors, page 2 plots the error of every point.
// Positions and font sizes are fractions of the page, so every page size and resolution gives
// the same layout.
#pragma once

#include <QRectF>
#include <filesystem>
#include <system_error>

#include "data/local_text.h"
#include "wizard/model/report_content.h"

class QPainter;
class QPagedPaintDevice;
class QWidget;

namespace pilvo::wizard {

// One page (0 or 1) of the report into `page`, in the painter's coordinates.
void DrawCalibrationReportPage(QPainter& painter, const QRectF& page, int index,
                               const CalibrationReportContent& content);
// Both pages on a printer or PDF writer that `painter` is already painting on.
void DrawCalibrationReport(QPainter& painter, QPagedPaintDevice& device,
                           const CalibrationReportContent& content);

// The print preview, modal, titled "PilvoWIZARD Report Preview" in `language`; its own print
// button prints the same pages.
void PreviewCalibrationReport(QWidget* parent, const CalibrationReportContent& content,
                              const Language& language);
// The print dialog, then the document "PilvoWizard". False when the user cancelled or the
// printer could not be started.
bool PrintCalibrationReport(QWidget* parent, const CalibrationReportContent& content);
// Replaces `path` with the report as an A4 PDF, atomically: on failure the previous file is left
// as it was. io_error when the pages could not be drawn, else the file's error.
std::error_code SaveCalibrationReportPdf(const std::filesystem::path& path,
                                         const CalibrationReportContent& content);

// "logo.bmp" beside the program, else in the installed data folder; the first place when it is
// in neither, so that the report prints its name.
std::filesystem::path ReportLogoPath();

}  // namespace pilvo::wizard
