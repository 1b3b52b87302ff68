#include "wizard/points_acquisition_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <ctime>

#include "data/local_text.h"
#include "session/arm_session.h"
#include "ui/qt_prompts.h"
#include "wizard/acquisition_plot_view.h"

namespace pilvo::wizard {
namespace {

constexpr int kTextBarLength = 2232;
constexpr int kTextReportPreview = 2233;
constexpr int kTextPrintReport = 2234;
constexpr int kTextReportOptions = 2235;
constexpr int kTextNext = 2238;
constexpr int kTextCancel = 2201;
constexpr int kTextOk = 2200;
constexpr int kTextJointLimits = 2443;
// The report options: the free texts a person types.
constexpr std::array<std::pair<ReportText, int>, 4> kTypedTexts{
    {{kCustomer, 2462}, {kOperator, 2463}, {kNotes, 2464}, {kSerialNumber, 2341}}};

QFont InstructionFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(18);
  font.setBold(true);
  return font;
}

}  // namespace

PointsAcquisitionDialog::PointsAcquisitionDialog(ArmSession& session, AcquisitionKind kind,
                                                 PointsAcquisition::ReadingShown showReading,
                                                 PointsAcquisition::ReportWriter writeReport,
                                                 ReportActions actions, QWidget* parent)
    : QDialog(parent), actions_(std::move(actions)) {
  model_ = std::make_unique<PointsAcquisition>(
      session, kind, std::move(showReading),
      [this] { return ChooseFile(this, QFileDialog::AcceptSave, kReportFileFilter, "rep", {}); },
      std::move(writeReport));
  const auto text = [&session](int id) { return ToQString(LocalText(id, session.language())); };

  instruction_ = new QLabel(this);
  instruction_->setAccessibleName(QStringLiteral("Instruction"));
  instruction_->setFont(InstructionFont());
  auto* readings = new QGridLayout;
  for (int axis = 0; axis < 3; ++axis) {
    const QString name(QChar(u"XYZ"[axis]));
    position_[axis] = new QLabel(this);
    position_[axis]->setAccessibleName(name);
    position_[axis]->setFont(InstructionFont());
    position_[axis]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    position_[axis]->setStyleSheet(QStringLiteral("color: lime; background: black; padding: 2px;"));
    readings->addWidget(new QLabel(name, this), axis, 0);
    readings->addWidget(position_[axis], axis, 1);
  }
  points_ = new QListWidget(this);
  points_->setAccessibleName(QStringLiteral("Points"));
  auto* left = new QVBoxLayout;
  left->addLayout(readings);
  left->addWidget(points_, 1);

  auto* plots = new QGridLayout;
  for (std::size_t plot = 0; plot < plots_.size(); ++plot) {
    plotLabels_[plot] = new QLabel(this);
    plots_[plot] = new AcquisitionPlotView(
        QStringLiteral("Plot %1").arg(plot + 1),
        [this, plot](PlotSize size) { return model_->Plot(plot, size); }, this);
    plots->addWidget(plotLabels_[plot], static_cast<int>(plot), 0, Qt::AlignTop);
    plots->addWidget(plots_[plot], static_cast<int>(plot), 1);
  }
  plots->setColumnStretch(1, 1);
  auto* middle = new QHBoxLayout;
  middle->addLayout(left, 1);
  middle->addLayout(plots, 2);

  barLabel_ = new QLabel(text(kTextBarLength), this);
  barLength_ = new QLineEdit(ToQString(model_->display().barLengthText), this);
  barLength_->setAccessibleName(barLabel_->text());
  barUnit_ = new QLabel(QStringLiteral("mm"), this);
  acceptBarLength_ = new QPushButton(QStringLiteral("»"), this);
  acceptBarLength_->setAccessibleName(QStringLiteral("Apply bar length"));
  limitIcon_ = new QLabel(this);
  limitIcon_->setAccessibleName(text(kTextJointLimits));
  limitIcon_->setPixmap(QIcon(QStringLiteral(":/pictures/limit_indicator.svg")).pixmap(24, 24));
  auto* bar = new QHBoxLayout;
  for (QWidget* part :
       std::initializer_list<QWidget*>{barLabel_, barLength_, barUnit_, acceptBarLength_}) {
    bar->addWidget(part);
  }
  bar->addStretch();
  bar->addWidget(limitIcon_);

  preview_ = NamedAsShown(new QPushButton(text(kTextReportPreview), this));
  print_ = NamedAsShown(new QPushButton(text(kTextPrintReport), this));
  options_ = NamedAsShown(new QPushButton(text(kTextReportOptions), this));
  next_ = NamedAsShown(new QPushButton(text(kTextNext), this));
  cancel_ = NamedAsShown(new QPushButton(text(kTextCancel), this));
  next_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {preview_, print_, options_}) buttons->addWidget(button);
  buttons->addStretch();
  buttons->addWidget(next_);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(instruction_);
  layout->addLayout(middle, 1);
  layout->addLayout(bar);
  layout->addLayout(buttons);

  connect(barLength_, &QLineEdit::textEdited, this, [this](const QString& typed) {
    model_->EditBarLength(typed.toStdString());
    Refresh();
  });
  connect(acceptBarLength_, &QPushButton::clicked, this,
          [this] { Forward([](PointsAcquisition& model) { model.AcceptBarLength(); }); });
  connect(preview_, &QPushButton::clicked, this, [this] { RunReport(actions_.preview, false); });
  connect(print_, &QPushButton::clicked, this, [this] { RunReport(actions_.print, true); });
  connect(options_, &QPushButton::clicked, this, [this] { EditReportOptions(); });
  connect(next_, &QPushButton::clicked, this,
          [this] { Forward([](PointsAcquisition& model) { model.Next(); }); });
  connect(cancel_, &QPushButton::clicked, this, &PointsAcquisitionDialog::reject);
  connect(&timer_, &QTimer::timeout, this,
          [this] { Forward([](PointsAcquisition& model) { model.Tick(); }); });
  setAccessibleName(ToQString(model_->display().title));
  Refresh();
  timer_.start(kAcquisitionTickMs);
}

PointsAcquisitionDialog::~PointsAcquisitionDialog() = default;

template <typename Call>
void PointsAcquisitionDialog::Forward(Call call) {
  timer_.stop();
  call(*model_);
  Refresh();
  if (model_->end() != AcquisitionEnd::Running) {
    done(model_->end() == AcquisitionEnd::Saved ? Accepted : Rejected);
  } else if (model_->ticking()) {
    timer_.start(kAcquisitionTickMs);
  }
}

void PointsAcquisitionDialog::reject() {
  Forward([](PointsAcquisition& model) { model.Cancel(); });
}

void PointsAcquisitionDialog::Refresh() {
  const AcquisitionDisplay& shown = model_->display();
  setWindowTitle(ToQString(shown.title));
  instruction_->setText(ToQString(shown.instruction));
  for (int axis = 0; axis < 3; ++axis) position_[axis]->setText(ToQString(shown.position[axis]));
  for (QWidget* part : std::initializer_list<QWidget*>{barLabel_, barLength_, barUnit_}) {
    part->setVisible(shown.barLengthShown);
  }
  acceptBarLength_->setVisible(shown.barLengthShown && shown.acceptBarLengthShown);
  limitIcon_->setVisible(shown.limitIcon);
  for (QPushButton* button : {preview_, print_, options_}) button->setVisible(shown.reportButtons);
  if (shown.plotRevision == shownRevision_) return;
  shownRevision_ = shown.plotRevision;
  ShowPoints();
  for (std::size_t plot = 0; plot < plots_.size(); ++plot) {
    const bool used = plot < shown.plotLabels.size();
    plotLabels_[plot]->setVisible(used);
    plots_[plot]->setVisible(used);
    if (used) plotLabels_[plot]->setText(ToQString(shown.plotLabels[plot]));
    plots_[plot]->update();
  }
}

void PointsAcquisitionDialog::ShowPoints() {
  const std::vector<std::string>& lines = model_->display().pointLines;
  const int count = static_cast<int>(lines.size());
  while (points_->count() > count) delete points_->takeItem(points_->count() - 1);
  for (int row = 0; row < count; ++row) {
    const QString line = ToQString(lines[static_cast<std::size_t>(row)]);
    if (row >= points_->count()) {
      points_->addItem(line);
    } else if (points_->item(row)->text() != line) {
      points_->item(row)->setText(line);
    }
  }
  points_->setCurrentRow(count - 1);
}

void PointsAcquisitionDialog::RunReport(const std::function<void(const ReportFile&)>& action,
                                        bool printing) {
  if (!action) return;
  Forward([&](PointsAcquisition& model) {
    if (const auto report = model.ReportForPages(printing, std::time(nullptr))) action(*report);
  });
}

void PointsAcquisitionDialog::EditReportOptions() {
  QDialog options(this);
  options.setWindowTitle(options_->text());
  options.setAccessibleName(options.windowTitle());
  auto* form = new QFormLayout(&options);
  std::array<QLineEdit*, kTypedTexts.size()> fields{};
  const Language& language = model_->language();
  for (std::size_t i = 0; i < kTypedTexts.size(); ++i) {
    const auto [which, label] = kTypedTexts[i];
    const std::string& typed = model_->reportTexts()[static_cast<std::size_t>(which)];
    fields[i] = new QLineEdit(typed == "?" ? QString() : ToQString(typed), &options);
    fields[i]->setAccessibleName(ToQString(LocalText(label, language)));
    form->addRow(fields[i]->accessibleName(), fields[i]);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &options);
  buttons->button(QDialogButtonBox::Ok)->setText(ToQString(LocalText(kTextOk, language)));
  buttons->button(QDialogButtonBox::Cancel)->setText(ToQString(LocalText(kTextCancel, language)));
  for (QAbstractButton* button : buttons->buttons()) NamedAsShown(button);
  connect(buttons, &QDialogButtonBox::accepted, &options, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &options, &QDialog::reject);
  form->addRow(buttons);
  Forward([&](PointsAcquisition& model) {
    if (options.exec() != Accepted) return;
    for (std::size_t i = 0; i < kTypedTexts.size(); ++i) {
      model.SetReportText(kTypedTexts[i].first, fields[i]->text().toStdString());
    }
  });
}

}  // namespace pilvo::wizard
