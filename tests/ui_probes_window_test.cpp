// The probes window over the virtual arm in this process: it opens with its texts in English and
// in Italian, its controls and its timer reach the model, and its owner keeps one window and
// hands the probe applied to the tray. The residual plot as a picture.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <algorithm>

#include "qt_test_support.h"
#include "session/session_observer.h"
#include "sim_session_fixture.h"
#include "ui/probes_window.h"
#include "ui/qt_prompts.h"
#include "ui/residual_plot_view.h"

namespace pilvo {
namespace {

using testing::ButtonNamed;
using testing::ExpectNamedAsShown;
using testing::Link;
using testing::PlainDemoTab;

class ProbesWindowTest : public testing::SimSessionTest {
 protected:
  ProbesWindowTest() { wire_ = testing::Wire::InProcess; }
  void TearDown() override {
    owner_.Close();
    SimSessionTest::TearDown();
  }

  template <typename Control>
  Control& Named(const QString& name) {
    for (auto* control : owner_.window()->findChildren<Control*>()) {
      if (control->accessibleName() == name) return *control;
    }
    throw std::runtime_error("no control " + name.toStdString());
  }
  void Click(const QString& name) { ButtonNamed(*owner_.window(), name)->click(); }
  QStringList Lines(const QString& list) {
    QStringList lines;
    auto& widget = Named<QListWidget>(list);
    for (int row = 0; row < widget.count(); ++row) lines << widget.item(row)->text();
    return lines;
  }
  ProbesWindowOwner owner_;
};

class ProbesWindowLanguageTest : public ProbesWindowTest, public testing::InLanguage {};

TEST_P(ProbesWindowLanguageTest, OpensWithItsTextsAndTheControlsReachTheModel) {
  Connect(PlainDemoTab("usb6_quaternion"), Link::Usb);
  context_.language().Select(GetParam());
  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
  owner_.Open(*session_);
  ProbesWindow* window = owner_.window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), In("Pilvo3D: Probes management", "Pilvo3D: Gestione tastatori"));
  ExpectNamedAsShown(*window);
  auto& selector = Named<QComboBox>("Probe");
  EXPECT_EQ(selector.count(), 4);
  EXPECT_EQ(selector.itemText(0), In("Factory calibration", "Calibrazione di fabbrica"));
  const QString compute = In("Compute", "Calcola");
  EXPECT_FALSE(ButtonNamed(*window, compute)->isVisible()) << "the compact face";

  Click(In("Add", "Aggiungi"));
  EXPECT_TRUE(ButtonNamed(*window, compute)->isVisible());
  auto& name = Named<QLineEdit>(In("New probe name", "Nome nuovo tastatore"));
  EXPECT_EQ(name.text(), "probe n° 4");
  EXPECT_EQ(window->focusWidget(), &name);
  Click(In("Scanner (Probe)", "Scanner (Tastatore)"));
  EXPECT_EQ(Lines("Report"),
            (QStringList{In("Acquire at least  15 points", "Acquisire almeno  15 punti"), "",
                         In("The probe can be calibrated by scanner software",
                            "Il tastatore può essere calibrato dal software dello scanner")}));
  EXPECT_EQ(Named<QListWidget>("Report").currentRow(), 2) << "the last line selected";
  auto& diameter = Named<QLineEdit>(In("Probe diameter", "Diametro tastatore"));
  diameter.setText("2");
  emit diameter.textEdited("2");
  Click(In("Reset memory", "Memoria azzeramento"));
  Click(In("Save", "Salva"));
  EXPECT_FALSE(window->model().editing());
  EXPECT_EQ(selector.count(), 5);
  EXPECT_EQ(selector.currentIndex(), 4);
  EXPECT_EQ(OnDisk().probes[3].probeRadius, 1.0f);
  EXPECT_TRUE(OnDisk().probes[3].options.probeMode);

  Click(In("Modify", "Modifica"));
  Hold({1});
  EXPECT_TRUE(QTest::qWaitFor([window] { return window->model().pointCount() == 1; }))
      << "the 100 ms timer reads the arm";
  Hold({});
  EXPECT_EQ(Lines("Points").size(), 1);
  EXPECT_EQ(Named<QListWidget>("Points").currentRow(), 0);

  owner_.Open(*session_);
  EXPECT_EQ(owner_.window(), window) << "the open window is brought to the front";
  QPointer<ProbesWindow> closing = window;
  ui_.ScriptAnswer(true);  // drop the point taken
  Click(In("Abort", "Interrompi"));
  Click(In("Apply", "Applica"));
  EXPECT_EQ(owner_.window(), nullptr) << "the window told its owner";
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(closing.isNull());
  EXPECT_FALSE(state().reading.probesDialogOpen);
  std::string tooltip;  // the tray's, the last one shown
  for (const auto& request : ui_.requests()) {
    if (request.kind == ScriptedOperator::Request::Kind::Connected) tooltip = request.text;
  }
  EXPECT_TRUE(tooltip.ends_with("\nprobe n° 4")) << tooltip;

  state().tab.main.probeCount = 0;
  ui_.Clear();
  owner_.Open(*session_);
  EXPECT_EQ(owner_.window(), nullptr);
  ASSERT_EQ(ui_.requests().size(), 1u);
  EXPECT_EQ(ToQString(ui_.requests()[0].text),
            In("Probe management not available", "Gestione tastatori non disponibile"));
}

INSTANTIATE_TEST_SUITE_P(Languages, ProbesWindowLanguageTest, testing::kLanguages,
                         testing::LanguageName);

// The link closes inside the window's own tick, and the owner is told there: the window goes
// once the tick is over.
TEST_F(ProbesWindowTest, LinkLostInTheWindowsTickDestroysItAfterTheTick) {
  Connect(PlainDemoTab("usb6_quaternion"), Link::Usb);
  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
  struct CloseOnDisconnect : SessionObserver {
    explicit CloseOnDisconnect(ProbesWindowOwner& windows) : owner(windows) {}
    void ArmDisconnected() override { owner.Close(); }
    ProbesWindowOwner& owner;
  } disconnect(owner_);
  session_->AddObserver(disconnect);
  owner_.Open(*session_);
  QPointer<ProbesWindow> closing = owner_.window();
  Click("Add");
  arm_->SetPlugged(false);
  EXPECT_TRUE(QTest::qWaitFor([this] { return owner_.window() == nullptr; }));
  session_->RemoveObserver(disconnect);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(closing.isNull());
  EXPECT_FALSE(state().reading.probesDialogOpen);
}

// The picture kept in the build tree: residual_plot_<case>.png.
TEST(ResidualPlotViewTest, DrawsTheResidualsOnYellowOnlyForAWideSpread) {
  const struct {
    const char* name;
    ResidualPlot plot;
    QColor background;  // invalid: the frame's own
  } cases[] = {{"narrow", {{0.01, -0.02, 0.03, 0.0}, -0.02, 0.03, false}, Qt::white},
               {"wide", {{0.5, -0.7, 0.6, 0.1}, -0.7, 0.6, true}, Qt::yellow},
               {"none", {}, QColor()}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ResidualPlotView view;
    view.resize(240, 120);
    view.SetPlot(test.plot);
    const QImage image = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    image.save(QStringLiteral("residual_plot_%1.png").arg(QLatin1String(test.name)));
    const QRgb background =
        (test.background.isValid() ? test.background : view.palette().window().color()).rgb();
    // Pixels of the background, red ones, and dark ones where the labels go: the maximum at the
    // top left, the minimum at the bottom left.
    int backgroundPixels = 0;
    int redPixels = 0;
    std::array<bool, 2> labels{};
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, y);
        backgroundPixels += pixel == background;
        redPixels += pixel == QColor(Qt::red).rgb();
        const bool top = y >= 2 && y < 14;
        const bool bottom = y >= image.height() - 14 && y < image.height() - 2;
        if (x >= 2 && x < 60 && (top || bottom) && qGray(pixel) < 100 && qRed(pixel) < 200) {
          labels[top ? 0 : 1] = true;
        }
      }
    }
    EXPECT_GT(backgroundPixels, image.width() * image.height() / 2);
    const bool drawn = !test.plot.residuals.empty();
    EXPECT_EQ(redPixels > 0, drawn);
    EXPECT_EQ(labels, (std::array{drawn, drawn}));
  }
}

}  // namespace
}  // namespace pilvo
