// Driving modal windows from a test: the test arranges what to do with the next modal window,
// then opens it; the action runs once the window is up.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

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

}  // namespace pilvo::testing
