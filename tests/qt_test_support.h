// Driving modal windows from a test: the test arranges what to do with the next modal window,
// then opens it; the action runs once the window is up.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "data/local_text.h"

namespace pilvo::testing {

// Runs `act` on the next modal window to appear (polled every 10 ms from the modal loop).
inline void WithNextModal(std::function<void(QWidget&)> act) {
  auto* poll = new QTimer;
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, act = std::move(act)] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      poll->stop();
      poll->deleteLater();
      act(*modal);
    }
  });
  poll->start();
}

// The button of `window` whose accessible name is `name`.
inline QAbstractButton* ButtonNamed(QWidget& window, const QString& name) {
  for (auto* button : window.findChildren<QAbstractButton*>()) {
    if (button->accessibleName() == name || button->text().remove(QLatin1Char('&')) == name) {
      return button;
    }
  }
  return nullptr;
}

// Every control of `window` has an accessible name: its visible label when it has one (arrows
// alone are no label), else a name of its own.
inline void ExpectNamedAsShown(QWidget& window) {
  static const QRegularExpression letter(QStringLiteral("\\p{L}"));
  for (QWidget* control : window.findChildren<QWidget*>()) {
    if (control->window() != &window) continue;  // a combo box's own popup
    QString label;
    if (auto* button = qobject_cast<QAbstractButton*>(control)) label = button->text();
    if (auto* group = qobject_cast<QGroupBox*>(control)) label = group->title();
    label.remove(QLatin1Char('&'));
    if (label.contains(letter)) {
      EXPECT_EQ(control->accessibleName(), label);
    } else if (qobject_cast<QAbstractButton*>(control) || qobject_cast<QLineEdit*>(control) ||
               qobject_cast<QComboBox*>(control) || qobject_cast<QAbstractItemView*>(control) ||
               qobject_cast<QProgressBar*>(control)) {
      EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
    }
  }
}

// The windows' tests run in English and in Italian: the case's language (selected by the
// fixture's SetUp in the context the windows use), and its texts.
class InLanguage : public ::testing::WithParamInterface<int> {
 protected:
  QString In(const char* english, const char* italian) const {
    return QString::fromUtf8(GetParam() == kItalian ? italian : english);
  }
};

inline const auto kLanguages = ::testing::Values(kEnglish, kItalian);
inline std::string LanguageName(const ::testing::TestParamInfo<int>& info) {
  return info.param == kItalian ? "Italian" : "English";
}

}  // namespace pilvo::testing
