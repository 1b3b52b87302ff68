// The Qt prompts: each opens modally with the texts it was given, and its buttons answer.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <fstream>

#include "qt_test_support.h"
#include "ui/qt_prompts.h"

namespace pilvo {
namespace {

using testing::ButtonNamed;
using testing::WithNextModal;

TEST(QtPromptsTest, MessageAndQuestionShowTheirTextsAndAnswer) {
  QtPrompts prompts;
  QString seen;
  WithNextModal([&](QWidget& window) {
    auto& box = dynamic_cast<QMessageBox&>(window);
    seen = box.windowTitle() + "|" + box.text();
    EXPECT_EQ(box.icon(), QMessageBox::Critical);
    box.accept();
  });
  prompts.ShowMessage("Probe management not available", "Pilvo DLL", MessageIcon::Error);
  EXPECT_EQ(seen, "Pilvo DLL|Probe management not available");

  // No is the default: Enter on the box answers No.
  WithNextModal([](QWidget& window) {
    auto& box = dynamic_cast<QMessageBox&>(window);
    EXPECT_EQ(static_cast<QAbstractButton*>(box.defaultButton()), box.button(QMessageBox::No));
    box.defaultButton()->click();
  });
  EXPECT_FALSE(prompts.AskYesNo("Confirm the operation?", "Pilvo DLL"));
  WithNextModal([](QWidget& box) { ButtonNamed(box, "Yes")->click(); });
  EXPECT_TRUE(prompts.AskYesNo("Confirm the operation?", "Pilvo DLL"));
}

TEST(QtPromptsTest, ListChooserStartsOnTheFirstLineAndCancelChoosesNothing) {
  QtPrompts prompts;
  const std::vector<std::string> arms{"arm 1", "arm 2", "arm 3"};
  WithNextModal([](QWidget& window) {
    auto* list = window.findChild<QListWidget*>();
    EXPECT_EQ(list->currentRow(), 0);
    list->setCurrentRow(2);
    ButtonNamed(window, "OK")->click();
  });
  EXPECT_EQ(prompts.ChooseFromList("Pilvo3D USB", arms), 2u);
  WithNextModal([](QWidget& window) { ButtonNamed(window, "Cancel")->click(); });
  EXPECT_EQ(prompts.ChooseFromList("Pilvo3D USB", arms), std::nullopt);
}

TEST(QtPromptsTest, FileChooserOffersTheFilterAndReturnsTheFileChosen) {
  EXPECT_EQ(QtFileFilter("Tab Files (*.tab) | *.tab||"), "Tab Files (*.tab)");
  EXPECT_EQ(QtFileFilter("Reports|*.rep;*.REP|All|*.*||"), "Reports (*.rep *.REP);;All (*.*)");

  const auto folder = std::filesystem::path(::testing::TempDir()) / "prompts_files";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "arm.tab") << "t44";
  QtPrompts prompts;
  WithNextModal([&](QWidget& window) {
    auto& dialog = dynamic_cast<QFileDialog&>(window);
    EXPECT_EQ(dialog.nameFilters(), QStringList{"Tab Files (*.tab)"});
    dialog.selectFile(QString::fromStdString((folder / "arm.tab").string()));
    static_cast<QDialog&>(dialog).accept();
  });
  EXPECT_EQ(prompts.ChooseFileToOpen("Tab Files (*.tab) | *.tab||", "tab", folder),
            folder / "arm.tab");
  WithNextModal([](QWidget& window) { static_cast<QDialog&>(window).reject(); });
  EXPECT_EQ(prompts.ChooseFileToOpen("Tab Files (*.tab) | *.tab||", "tab", folder), std::nullopt);
}

}  // namespace
}  // namespace pilvo
