#include "ui/arm_status_dialogs.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTimer>
#include <QVBoxLayout>

#include "dialogs/alignment_procedure.h"
#include "dialogs/reset_procedure.h"
#include "dialogs/temperature_choice.h"
#include "ui/arm_view.h"
#include "ui/joint_indicators.h"
#include "ui/qt_prompts.h"

namespace pilvo {
namespace {

constexpr int kViewWidth = 320;
constexpr int kViewHeight = 300;

template <class Widget>
Widget* Named(Widget* widget, const QString& name) {
  widget->setAccessibleName(name);
  return widget;
}

QPushButton* Button(const QString& text, const QString& name) {
  return Named(new QPushButton(text), name);
}

QComboBox* ComboOf(const std::vector<std::string>& lines, const QString& name) {
  auto* combo = Named(new QComboBox, name);
  for (const std::string& line : lines) combo->addItem(ToQString(line));
  return combo;
}

QLabel* PictureLabel(const QString& picture, const QString& name) {
  auto* label = Named(new QLabel, name);
  label->setPixmap(PicturePixmap(picture, 32));
  return label;
}

// The dialog's timer: `tick` every `intervalMs` until the dialog ends.
void StartTimer(QDialog& dialog, int intervalMs, const std::function<void()>& tick) {
  auto* timer = new QTimer(&dialog);
  timer->setInterval(intervalMs);
  QObject::connect(timer, &QTimer::timeout, &dialog, tick);
  QObject::connect(&dialog, &QDialog::finished, timer, &QTimer::stop);
  timer->start();
}

// The alignment picture: the 150 x 140 drawing stretched onto the frame inset by one pixel.
class AlignmentPicture : public QFrame {
 public:
  explicit AlignmentPicture(const QString& picture) : renderer_(":/pictures/" + picture) {
    setFrameShape(QFrame::Box);
    setFixedSize(152, 142);
    setAccessibleName("Picture");
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    QPainter painter(this);
    renderer_.render(&painter, QRectF(rect().adjusted(1, 1, -1, -1)));
  }

 private:
  QSvgRenderer renderer_;
};

class ResetDialog : public QDialog {
 public:
  explicit ResetDialog(ResetProcedure& procedure) : procedure_(procedure) {
    setWindowTitle(ToQString(procedure.title()));
    auto* titleLine = Named(new QLabel(ToQString(procedure.tabPath())), "TAB file");
    auto* instruction = Named(new QLabel(ToQString(procedure.instruction())), "Instruction");
    instruction->setWordWrap(true);

    auto* probes = ComboOf(procedure.probeLines(), "Probe");
    QFont font("Arial", 20);
    font.setBold(true);
    probes->setFont(font);
    probes->setVisible(procedure.probeChoiceShown());
    probes->setEnabled(procedure.probeChoiceEnabled());
    probes->setCurrentIndex(procedure.probeLine());
    connect(probes, &QComboBox::activated, this, [this](int line) {
      procedure_.SelectProbe(line);
      indicators_->SetLabels(procedure_.encoderLabels());
    });

    auto* group = new QGroupBox(ToQString(procedure.markStatusLabel()));
    group->setAccessibleName(group->title());
    indicators_ = new JointIndicators("indicator.svg");
    indicators_->SetLabels(procedure.encoderLabels());
    (new QVBoxLayout(group))->addWidget(indicators_);

    auto* temperatureRow = new QHBoxLayout;
    auto* temperatureText =
        Named(new QLabel(ToQString(procedure.temperatureText())), "Temperature text");
    auto* temperatureIcon = PictureLabel("temperature.svg", "Temperature icon");
    auto* temperatures = ComboOf(procedure.temperatureLines(), "Ambient temperature");
    temperatures->setCurrentIndex(procedure.temperatureLine());
    connect(temperatures, &QComboBox::activated, this,
            [this](int line) { procedure_.SelectTemperature(line); });
    auto* unit = Named(new QLabel("°C"), "°C");
    temperatureText->setVisible(procedure.temperatureTextShown());
    temperatureIcon->setVisible(procedure.temperatureTextShown());
    temperatures->setVisible(procedure.temperatureChoiceShown());
    unit->setVisible(procedure.temperatureChoiceShown());
    for (QWidget* widget :
         std::initializer_list<QWidget*>{temperatureText, temperatureIcon, temperatures, unit}) {
      temperatureRow->addWidget(widget);
    }
    temperatureRow->addStretch();

    auto* cancel = NamedAsShown(new QPushButton(ToQString(procedure.cancelLabel())));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    enlarge_ = Button(">>", "Enlarge");
    connect(enlarge_, &QPushButton::clicked, this, [this] {
      procedure_.Enlarge();
      LayOut();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(enlarge_);

    auto* left = new QVBoxLayout;
    left->addWidget(titleLine);
    left->addWidget(probes);
    left->addWidget(instruction);
    left->addWidget(group);
    left->addLayout(temperatureRow);
    left->addStretch();
    left->addLayout(buttons);

    viewPanel_ = new QWidget;
    auto* right = new QVBoxLayout(viewPanel_);
    right->setContentsMargins(0, 0, 0, 0);
    view_ = new ArmView;
    view_->setFixedSize(kViewWidth, kViewHeight);
    view_->SetPose(procedure.viewPose());
    auto* reduce = Button("<<", "Reduce");
    connect(reduce, &QPushButton::clicked, this, [this] {
      procedure_.Reduce();
      LayOut();
    });
    right->addWidget(view_);
    right->addWidget(reduce, 0, Qt::AlignRight);

    auto* main = new QHBoxLayout(this);
    main->setSizeConstraint(QLayout::SetFixedSize);
    main->addLayout(left);
    main->addWidget(viewPanel_);
    LayOut();

    // Closing the window any way (Cancel, Escape, its title bar) cancels the reset.
    connect(this, &QDialog::rejected, this, [this] { procedure_.Cancel(); });
    StartTimer(*this, kResetTickMs, [this] { Tick(); });
  }

 private:
  void LayOut() {
    enlarge_->setVisible(procedure_.reduced());
    viewPanel_->setVisible(!procedure_.reduced());
  }

  void Tick() {
    procedure_.Tick();
    indicators_->SetLit(procedure_.markMask());
    view_->SetPose(procedure_.viewPose());
    switch (procedure_.state()) {
      case ResetProcedure::State::Running:
        break;
      case ResetProcedure::State::Ok:
        accept();
        break;
      case ResetProcedure::State::Cancelled:
        reject();
        break;
    }
  }

  ResetProcedure& procedure_;
  JointIndicators* indicators_;
  QPushButton* enlarge_;
  QWidget* viewPanel_;
  ArmView* view_;
};

}  // namespace

void ExecResetDialog(ResetProcedure& procedure) {
  ResetDialog dialog(procedure);
  dialog.exec();
}

void ExecTemperatureDialog(TemperatureChoice& choice) {
  QDialog dialog;
  dialog.setWindowTitle(ToQString(choice.title()));
  auto* text = Named(new QLabel(ToQString(choice.text())), "Temperature text");
  auto* lines = ComboOf(choice.lines(), "Ambient temperature");
  lines->setCurrentIndex(choice.selectedLine());
  QObject::connect(lines, &QComboBox::activated, &dialog,
                   [&choice](int line) { choice.Select(line); });
  auto* ok = Button("OK", "OK");
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, &dialog, [&] {
    choice.Ok();
    dialog.accept();
  });
  auto* row = new QHBoxLayout;
  row->addWidget(PictureLabel("temperature.svg", "Temperature icon"));
  row->addWidget(lines);
  row->addWidget(Named(new QLabel("°C"), "°C"));
  row->addStretch();
  row->addWidget(ok);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(text);
  layout->addLayout(row);
  dialog.exec();
}

void ExecAlignmentDialog(AlignmentProcedure& procedure) {
  QDialog dialog;
  dialog.setWindowTitle(ToQString(procedure.title()));
  const bool table = procedure.variant() == AlignmentVariant::RotatingTable;
  auto* picture = new AlignmentPicture(table ? "table_alignment.svg" : "frame_alignment.svg");
  auto* instructions = Named(new QLabel(ToQString(procedure.instructions())), "Instructions");
  auto* prompt = Named(new QLabel(ToQString(procedure.prompt())), "Prompt");
  QFont bold = prompt->font();
  bold.setBold(true);
  prompt->setFont(bold);
  auto* reuse = Button("&Ok", "Ok");
  reuse->setVisible(procedure.reuseShown());
  QObject::connect(reuse, &QPushButton::clicked, &dialog, [&] {
    procedure.Reuse();
    dialog.accept();
  });
  auto* cancel = NamedAsShown(new QPushButton(ToQString(procedure.cancelLabel())));
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  QObject::connect(&dialog, &QDialog::rejected, &dialog, [&] { procedure.Cancel(); });

  auto* top = new QHBoxLayout;
  top->addWidget(picture, 0, Qt::AlignTop);
  top->addWidget(instructions, 0, Qt::AlignTop);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(reuse);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addLayout(top);
  layout->addWidget(prompt);
  layout->addLayout(buttons);

  StartTimer(dialog, kAlignmentTickMs, [&] {
    procedure.Tick();
    prompt->setText(ToQString(procedure.prompt()));
    if (procedure.state() == AlignmentProcedure::State::Ok) dialog.accept();
    if (procedure.state() == AlignmentProcedure::State::Cancelled) dialog.reject();
  });
  dialog.exec();
}

}  // namespace pilvo
