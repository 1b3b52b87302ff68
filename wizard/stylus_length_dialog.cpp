#include "wizard/stylus_length_dialog.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/qt_prompts.h"

namespace pilvo::wizard {
namespace {

constexpr QSize kPictureSize(350, 150);

}  // namespace

StylusLengthDialog::StylusLengthDialog(StylusLength& model, QWidget* parent)
    : QDialog(parent),
      model_(model),
      picture_(new QLabel(this)),
      length_(new QLineEdit(ToQString(model.initialLength()), this)) {
  const StylusLengthTexts& texts = model_.texts();
  setWindowTitle(ToQString(texts.title));
  setAccessibleName(windowTitle());
  picture_->setFixedSize(kPictureSize);
  picture_->setAccessibleName(QStringLiteral("Stylus"));
  auto* m4 = NamedAsShown(new QRadioButton(ToQString(texts.m4), this));
  auto* m8 = NamedAsShown(new QRadioButton(ToQString(texts.m8), this));
  (model_.stylus() == StandardStylus::M8 ? m8 : m4)->setChecked(true);
  connect(m4, &QRadioButton::toggled, this, [this](bool on) {
    if (on) ChooseStylus(StandardStylus::M4);
  });
  connect(m8, &QRadioButton::toggled, this, [this](bool on) {
    if (on) ChooseStylus(StandardStylus::M8);
  });
  auto* lengthLabel = new QLabel(ToQString(texts.length), this);
  lengthLabel->setBuddy(length_);
  length_->setAccessibleName(lengthLabel->text());
  auto* ok = NamedAsShown(new QPushButton(ToQString(texts.newTab), this));
  auto* cancel = NamedAsShown(new QPushButton(ToQString(texts.cancel), this));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &StylusLengthDialog::Accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* choices = new QVBoxLayout;
  choices->addWidget(m4);
  choices->addWidget(m8);
  choices->addStretch();
  auto* top = new QHBoxLayout;
  top->addLayout(choices);
  top->addWidget(picture_);
  auto* field = new QHBoxLayout;
  field->addWidget(lengthLabel);
  field->addWidget(length_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(field);
  layout->addLayout(buttons);
  ChooseStylus(model_.stylus());
}

void StylusLengthDialog::ChooseStylus(StandardStylus stylus) {
  model_.ChooseStylus(stylus);
  const QString picture = stylus == StandardStylus::M8 ? QStringLiteral(":/pictures/stylus_m8.svg")
                                                       : QStringLiteral(":/pictures/stylus_m4.svg");
  picture_->setPixmap(QIcon(picture).pixmap(kPictureSize));
}

void StylusLengthDialog::Accept() {
  if (model_.Accept(length_->text().toStdString())) accept();
}

}  // namespace pilvo::wizard
