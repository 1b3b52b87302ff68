#include "ui/qt_prompts.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace pilvo {
namespace {

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error:
      return QMessageBox::Critical;
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Question:
      return QMessageBox::Question;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void QtPrompts::ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
  QMessageBox box(QtIcon(icon), ToQString(caption), ToQString(text), QMessageBox::Ok);
  box.setAccessibleName(ToQString(caption));
  box.exec();
}

bool QtPrompts::AskYesNo(std::string_view text, std::string_view caption) {
  QMessageBox box(QMessageBox::Question, ToQString(caption), ToQString(text),
                  QMessageBox::Yes | QMessageBox::No);
  box.setAccessibleName(ToQString(caption));
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::size_t> QtPrompts::ChooseFromList(std::string_view title,
                                                     const std::vector<std::string>& lines) {
  QDialog dialog;
  dialog.setWindowTitle(ToQString(title));
  dialog.setAccessibleName(ToQString(title));
  auto* list = new QListWidget(&dialog);
  list->setAccessibleName(QStringLiteral("Choices"));
  for (const std::string& line : lines) list->addItem(ToQString(line));
  if (!lines.empty()) list->setCurrentRow(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(list);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return std::nullopt;
  return static_cast<std::size_t>(list->currentRow());
}

std::optional<std::filesystem::path> QtPrompts::ChooseFileToOpen(
    std::string_view filter, std::string_view defaultExtension,
    const std::filesystem::path& folder) {
  return ChooseFile(nullptr, QFileDialog::AcceptOpen, filter, defaultExtension, folder);
}

std::optional<std::filesystem::path> ChooseFile(QWidget* parent, QFileDialog::AcceptMode mode,
                                                std::string_view filter,
                                                std::string_view defaultExtension,
                                                const std::filesystem::path& start) {
  const bool open = mode == QFileDialog::AcceptOpen;
  QFileDialog dialog(parent, QString(), QString::fromStdString(start.string()),
                     QtFileFilter(filter));
  dialog.setAccessibleName(open ? QStringLiteral("Open file") : QStringLiteral("Save file"));
  // Qt's own dialog everywhere: the same look and behaviour on every desktop.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (open) dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(mode);
  dialog.setDefaultSuffix(ToQString(defaultExtension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return std::filesystem::path(dialog.selectedFiles().constFirst().toStdString());
}

void QtPrompts::Beep() {
  QApplication::beep();
}

QString QtFileFilter(std::string_view filter) {
  const QStringList parts = ToQString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QString pattern = parts[i + 1].trimmed();
    pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
    if (description.isEmpty() && pattern.isEmpty()) break;
    filters << (description.contains(QLatin1Char('(')) || pattern.isEmpty()
                    ? description
                    : description + QStringLiteral(" (") + pattern + QLatin1Char(')'));
  }
  return filters.join(QStringLiteral(";;"));
}

}  // namespace pilvo
