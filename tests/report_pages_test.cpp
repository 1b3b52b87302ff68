// The calibration report on paper: the PDF's two pages read back with pdftotext, page 2 and the
// logo looked at with pdftoppm, the preview's pages, and a PDF that cannot be written. The PDF
// and PNG files stay in the build tree.
#include <gtest/gtest.h>

#include <QImage>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <filesystem>
#include <fstream>

#include "qt_test_support.h"
#include "wizard/report_pages.h"

namespace pilvo::wizard {
namespace {

namespace fs = std::filesystem;

const fs::path kArtifacts = [] {
  fs::create_directories(PILVO_REPORT_ARTIFACTS);
  return fs::path(PILVO_REPORT_ARTIFACTS);
}();

// Errors +0.3, -0.4, +0.1 mm against a 100 mm bar.
CalibrationReportContent BallBar(bool italian, const fs::path& logo) {
  CalibrationReportContent content;
  content.italian = italian;
  content.issueDate = content.measuringDate = "07/03/2026";
  content.serialNumber = "SR60";
  content.barLength = 100.0;
  content.points = 3;
  content.errors = {-0.4, 0.3, 0.588784};
  content.pointErrors = {0.3, -0.4, 0.1};
  content.logo = logo;
  content.makerAddress = "Kelmorad S.r.l. - Torino";
  content.makerContact = "info@kelmorad.example";
  return content;
}

QString RunTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  EXPECT_TRUE(process.waitForFinished(30000) && process.exitCode() == 0) << program.toStdString();
  return QString::fromUtf8(process.readAllStandardOutput());
}

QStringList Pages(const fs::path& pdf) {
  return RunTool("pdftotext", {QString::fromStdString(pdf.string()), "-"}).split('\f');
}

// Page 1 or 2 as a 100 dpi picture, kept beside the PDF.
QImage PagePicture(const fs::path& pdf, int page) {
  const QString number = QString::number(page);
  const QString file = QString::fromStdString(pdf.string());
  RunTool("pdftoppm",
          {"-png", "-r", "100", "-f", number, "-singlefile", file, file + "-" + number});
  return QImage(file + "-" + number + ".png");
}

// The bounds, in millimetres from the corner of an A4 page, of its pixels close to `colour`.
QRectF BoundsOf(const QImage& image, QColor colour) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      const int distance = std::abs(pixel.red() - colour.red()) +
                           std::abs(pixel.green() - colour.green()) +
                           std::abs(pixel.blue() - colour.blue());
      if (distance < 60) bounds |= QRect(x, y, 1, 1);
    }
  }
  const double mm = image.width() / 210.0;
  return {bounds.x() / mm, bounds.y() / mm, bounds.width() / mm, bounds.height() / mm};
}

class ReportPagesTest : public ::testing::Test, public testing::InLanguage {};

TEST_P(ReportPagesTest, TwoPagesWithTheLabelsAndTheNumbersOfTheAcquisition) {
  const fs::path pdf =
      kArtifacts / (GetParam() == kItalian ? "report-italian.pdf" : "report-english.pdf");
  ASSERT_FALSE(
      SaveCalibrationReportPdf(pdf, BallBar(GetParam() == kItalian, kArtifacts / "none.bmp")));

  const QStringList pages = Pages(pdf);
  ASSERT_EQ(pages.size(), 3);  // two pages, each ended by a form feed
  const QStringList expected[] = {
      {"1/2", In("Calibration report", "Report di calibrazione"),
       In("- Date of issue:", "- Data di emissione:"), In("Reference", "Riferimento"),
       In("Pilvo3D measuring arm", "Braccio di misura Pilvo3D"),
       In("- Serial number:", "- Matricola:"), "SR60",
       In("Calibration Bar", "Asta di calibrazione"), "07/03/2026", "100.000 mm",
       In("- Points number:", "- Numero punti:"), "min -0.400", "max 0.300",
       In("- 2sigma error:", "- Errore 2sigma:"), "0.589", "Logo.bmp", "Kelmorad S.r.l. - Torino",
       "info@kelmorad.example"},
      {"2/2", In("Length Measure in workspace", "Misura di lunghezza nel volume di lavoro"),
       "+0.40", "-0.20", "100.000 mm"},
  };
  for (int page = 0; page < 2; ++page) {
    for (const QString& text : expected[page]) {
      EXPECT_TRUE(pages[page].contains(text))
          << text.toStdString() << " on page " << page + 1 << ":\n"
          << pages[page].toStdString();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, ReportPagesTest, testing::kLanguages, testing::LanguageName);

// The red error line stays inside the frame, its highest point (+0.3) and lowest (-0.4) where the
// scale puts them: the frame's middle at 137 mm from the top of the page, 0.4 mm of error at
// 72 mm from it.
TEST(ReportPages, SecondPagePlotsEveryPointsErrorAroundTheNominalLength) {
  const fs::path pdf = kArtifacts / "plot.pdf";
  ASSERT_FALSE(SaveCalibrationReportPdf(pdf, BallBar(false, {})));
  const QRectF red = BoundsOf(PagePicture(pdf, 2), Qt::red);
  ASSERT_FALSE(red.isEmpty()) << "no error line";
  EXPECT_NEAR(red.top(), 137 - 54, 2.0);
  EXPECT_NEAR(red.bottom(), 137 + 72, 2.0);
  EXPECT_GT(red.left(), 37.0);    // the frame's left side, past the labels
  EXPECT_LT(red.right(), 195.0);  // its right side
}

TEST(ReportPages, LogoTakesThePlaceOfItsName) {
  const fs::path logo = kArtifacts / "logo.bmp";
  QImage green(250, 100, QImage::Format_RGB32);
  green.fill(Qt::green);
  green.setDotsPerMeterX(3937);  // 100 dpi: 63.5 mm wide, 25.4 mm printed
  green.setDotsPerMeterY(3937);
  ASSERT_TRUE(green.save(QString::fromStdString(logo.string()), "BMP"));

  const fs::path pdf = kArtifacts / "logo.pdf";
  ASSERT_FALSE(SaveCalibrationReportPdf(pdf, BallBar(false, logo)));
  EXPECT_FALSE(Pages(pdf)[0].contains(QStringLiteral("Logo.bmp")));
  const QRectF drawn = BoundsOf(PagePicture(pdf, 1), Qt::green);
  EXPECT_NEAR(drawn.width(), 25.4, 1.0);
  EXPECT_NEAR(drawn.height(), 10.2, 1.0);
}

TEST(ReportPages, PdfThatCannotBeWrittenIsAFailure) {
  EXPECT_TRUE(SaveCalibrationReportPdf(kArtifacts / "missing-folder" / "report.pdf", {}));
}

TEST(ReportPages, PreviewShowsBothPages) {
  int pages = 0;
  QString title;
  testing::WithNextModal([&](QWidget& preview) {
    title = preview.windowTitle();
    if (auto* view = preview.findChild<QPrintPreviewWidget*>()) pages = view->pageCount();
    preview.close();
  });
  PreviewCalibrationReport(nullptr, BallBar(true, {}), Language(kItalian));
  EXPECT_EQ(title, QStringLiteral("PilvoWIZARD Anteprima report"));
  EXPECT_EQ(pages, 2);
}

}  // namespace
}  // namespace pilvo::wizard
