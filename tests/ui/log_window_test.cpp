// The log window: lines from any thread, delete, save, size and placement.
#include "ui_fixture.h"

#include "ini_file.h"

#include <QComboBox>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(LogWindow, LinesFromWorkersArriveInOrderWhileHidden) {
    EnsureApp();
    FakeServices services;
    TFormLog log(services, TestDispatcher());
    log.AppendLine("first");
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) log.AppendLine("#7.3: line " + std::to_string(i));
    });
    worker.join();
    ASSERT_TRUE(PumpUntil([&] { return log.Lines().size() == 51; }));
    EXPECT_FALSE(log.isVisible());
    EXPECT_EQ(log.Lines()[0], "first");
    EXPECT_EQ(log.Lines()[50], "#7.3: line 49");
    log.show();
    EXPECT_EQ(log.Lines().size(), 51u);
    EXPECT_EQ(log.windowTitle(), "Log");
    EXPECT_TRUE(log.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(log.windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST(LogWindow, DeleteAsksAndSaveStaysOffAfterwards) {
    EnsureApp();
    FakeServices services;
    TFormLog log(services, TestDispatcher());
    auto* save = log.findChild<QPushButton*>("ButtonSave");
    log.AppendLine("keep me");
    services.dialogAnswers = {mrNo, mrCancel, mrYes};
    log.ButtonDeleteClick();
    log.ButtonDeleteClick();
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"keep me"});
    EXPECT_TRUE(save->isEnabled());
    log.ButtonDeleteClick();
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(services.dialogs.front(), "Delete log?|Really delete log file?");
    log.AppendLine("later");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"later"});
    EXPECT_FALSE(save->isEnabled());
}

TEST(LogWindow, SavesWithTheFilterExtensionAndCrLf) {
    EnsureApp();
    FakeServices services;
    TFormLog log(services, TestDispatcher());
    TempDir tmp;
    log.AppendLine("one");
    log.AppendLine("");
    log.AppendLine("three");
    std::string filters;
    log.ExecSaveDialog = [&](QFileDialog& dialog) {
        filters = dialog.nameFilters().join("|").toStdString();
        dialog.setDirectory(QString::fromStdString(tmp.path()));
        dialog.selectNameFilter("Log-Files (*.log)");
        dialog.selectFile("report");
        return int(QDialog::Accepted);
    };
    log.ButtonSaveClick();
    EXPECT_EQ(filters, "Log-Files (*.log)|Text-Files (*.txt)|All Files (*.*)");
    EXPECT_EQ(ReadWholeFile(tmp.file("report.log")), "one\r\n\r\nthree\r\n");

    // A cancelled dialog writes nothing; an unwritable file is reported.
    log.ExecSaveDialog = [](QFileDialog&) { return int(QDialog::Rejected); };
    log.ButtonSaveClick();
    log.ExecSaveDialog = [&](QFileDialog& dialog) {
        dialog.selectFile(QString::fromStdString(tmp.file("missing/folder/x.log")));
        return int(QDialog::Accepted);
    };
    log.ButtonSaveClick();
    ASSERT_EQ(services.errors.size(), 1u);
    EXPECT_NE(services.errors[0].find("x.log"), std::string::npos);
    EXPECT_EQ(log.Lines().size(), 3u);
}

TEST(LogWindow, SizeButtonRowAndPlacement) {
    EnsureApp();
    FakeServices services;
    TFormLog log(services, TestDispatcher());
    TempDir tmp;
    log.SetSettingsPath(tmp.file("settings.dat"));
    log.show();
    log.resize(100, 50);
    EXPECT_GE(log.width(), 265);
    EXPECT_GE(log.height(), 125);
    log.resize(655, 300);
    ASSERT_TRUE(PumpUntil([&] { return log.findChild<QPushButton*>("ButtonOK")->x() == 655 / 2 - 241 / 2; }));
    EXPECT_EQ(log.findChild<QPushButton*>("ButtonDelete")->x(), 207 + 83);
    EXPECT_EQ(log.findChild<QPushButton*>("ButtonSave")->x(), 207 + 166);
    EXPECT_EQ(log.findChild<QPushButton*>("ButtonOK")->y(), 7);

    log.move(60, 70);
    log.findChild<QPushButton*>("ButtonOK")->click();  // hides and stores the placement
    EXPECT_FALSE(log.isVisible());
    IniFile ini;
    ASSERT_TRUE(ini.Load(tmp.file("settings.dat")));
    EXPECT_EQ(ini.Get("FormLog", "x"), "60");
    EXPECT_EQ(ini.Get("FormLog", "width"), "655");
    log.move(0, 0);
    log.show();  // restores the stored position
    EXPECT_EQ(log.pos(), QPoint(60, 70));
}

}  // namespace
