#pragma once
// The log window: the lines the program and the engine report, kept for the
// whole run, shown on demand, saved or deleted by the user.
#include "log_sink.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class IDesktopServices;
class IDispatcher;
class QFileDialog;
class QPlainTextEdit;
class QPushButton;

class TFormLog : public QWidget, public ILogSink {
    Q_OBJECT
public:
    // Lines from other threads reach the window through dispatcher.
    TFormLog(IDesktopServices& services, IDispatcher& dispatcher, QWidget* parent = nullptr);

    // Any thread: lines from other threads go through the dispatcher, in order.
    void AppendLine(const std::string& line) override;
    std::vector<std::string> Lines() const;

    // The settings file holding the "FormLog" placement.
    void SetSettingsPath(const std::string& path) { settingsPath_ = path; }
    // Writes the placement; a window never shown keeps the place beside the
    // main window that it would open at. Throws std::runtime_error when it cannot.
    void SavePlacement() const;
    // The main window: the log first opens beside it and is its transient.
    void SetOwner(QWidget* owner) { owner_ = owner; }

    void ButtonOKClick();
    void ButtonDeleteClick();
    void ButtonSaveClick();

    // How the save dialog is run; tests answer it. Returns the dialog's result.
    std::function<int(QFileDialog&)> ExecSaveDialog;

protected:
    void showEvent(QShowEvent*) override;
    void closeEvent(QCloseEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPoint BesideOwner() const;
    void AppendOnMainThread(const std::string& line);
    void PanelBottomResize();

    IDesktopServices& services_;
    IDispatcher& dispatcher_;
    std::string settingsPath_;
    QWidget* owner_ = nullptr;
    bool shown_ = false;
    QPlainTextEdit* memo_;
    QWidget* panel_;
    QPushButton *ok_, *delete_, *save_;
    int lineCount_ = 0;
};
