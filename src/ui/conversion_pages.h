#pragma once
// The conversion path in the window: the engine the main window owns (its
// encoder with the probe, the logger's hand-over to the log window), Step1's
// input list, Step3 as the conversion run's view, Step4's numbers, the
// preview windows and the files dropped on the window. The logic lives in
// src/input and src/jobs; this class binds it to the pages.
#include "conversion_run.h"
#include "convert_list.h"
#include "encoder_jobs.h"
#include "ff_encoder.h"
#include "form_preview.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>

class IDesktopServices;
class ILogSink;
class IDispatcher;
class TFormMain;
class TPageStep1;
class TPageStep3;

class TConversionPages : public QObject, public IConvertRowView, public IConversionPage, public IConversionFinish {
    Q_OBJECT
public:
    // Reads the window's configuration and settings.
    TConversionPages(TFormMain& form, IDesktopServices& services, ILogSink* log, IDispatcher& dispatcher);
    ~TConversionPages() override;

    // Start-up: the codec libraries from "lib", then "../lib" beside the
    // program (each falling back to the system's library path); a failure
    // becomes a log line and the window starts all the same.
    void LoadCodecLibraries(const std::string& exeFolder);
    // Shutdown: no engine event reaches the closing window; then the engine
    // stops and its threads end.
    void DetachEngineEvents();
    void StopEngine();

    // The run, from the wizard.
    void StartConversion();
    void StopConversion();
    void ClearConversionList();
    // The Preview check box; works at any time.
    void CheckBoxPreviewClick(bool on);
    // Files dropped on the window.
    void WMDropFiles(const std::vector<std::string>& paths);

    TFFEncoder& Encoder() { return encoder_; }
    TConversionRun& Run() { return run_; }
    TPreviewWindows& Previews() { return previews_; }

    // IConvertRowView: ListViewConverting.
    void ClearRows() override;
    void AddRow(const TConvertRow& row) override;
    void SetCell(int row, TConvertColumn column, const std::string& text) override;
    void SetColumnTitles(const std::string& status, const std::string& progress) override;
    // IConversionPage: the Step3 labels and bar.
    void SetCurrentFileTitle(const std::string& title) override;
    void SetCurrentFile(const std::string& text) override;
    void SetProgress(int position, const std::string& text) override;
    void SetTimes(const std::string& estimated, const std::string& elapsed, const std::string& left) override;
    void SetOutputSize(const std::string& text) override;
    // IConversionFinish: the window's devices and Step4.
    void RunEnded() override;
    void PlaySoundFile(const std::string& path) override;
    bool ShowShutdownCountdown() override;
    void ShutdownComputer() override;
    void ShowConversionSummary(const TConversionResult& result) override;

protected:
    // Drops on the main window.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TGatedJobs;
    bool TakesDrops() const;

    TFormMain& form_;
    ILogSink* log_;
    // The window deletes its pages before this child of it.
    QPointer<TPageStep1> step1_;
    QPointer<TPageStep3> step3_;
    TFFEncoder encoder_;
    TEncoderJobs jobs_;
    std::unique_ptr<TGatedJobs> gated_;
    TConvertList list_;
    TConversionRun run_;
    TPreviewWindows previews_;
};
