// The stylus calibration procedure as a wizard: one page per step of the model, each with its
// own 100 ms timer that runs while the page is shown.
#pragma once

#include <QTimer>
#include <QWizard>
#include <QWizardPage>
#include <array>
#include <vector>

#include "wizard/model/stylus_calibration.h"

class QLabel;
class QLineEdit;
class QRadioButton;

namespace pilvo::wizard {

class StylusCalibrationPage final : public QWizardPage {
 public:
  StylusCalibrationPage(StylusCalibration& model, StylusStep step);

  QTimer& timer() { return timer_; }
  // The page is shown: the model's step starts anew and the timer runs.
  void Enter();
  void Leave() { timer_.stop(); }

  bool isComplete() const override;
  bool validatePage() override;

 private:
  void BuildTouching(const StylusStepTexts& texts, QWidget* area);
  void BuildRestPosition(QWidget* area);
  void BuildConfirmation(const StylusStepTexts& texts, QWidget* area);
  void Tick();
  void Refresh();
  StylusFields Fields() const;

  StylusCalibration& model_;
  StylusStep step_;
  QTimer timer_;
  std::array<QLabel*, 3> position_{};
  QLabel* height_ = nullptr;
  QRadioButton* tip_ = nullptr;
  QRadioButton* sphere_ = nullptr;
  QLineEdit* radius_ = nullptr;
  std::array<QLabel*, kRestJointsShown> offsets_{};
  std::array<QLabel*, kRestJointsShown> counts_{};
  QLabel* originalFile_ = nullptr;
  QLabel* modifiedFile_ = nullptr;
};

class StylusCalibrationWizard final : public QWizard {
 public:
  StylusCalibrationWizard(StylusCalibration& model, QWidget* parent);

 private:
  void Show(int id);
  void StopTimers();

  std::vector<StylusCalibrationPage*> pages_;
};

}  // namespace pilvo::wizard
