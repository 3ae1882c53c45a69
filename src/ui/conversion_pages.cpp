#include "conversion_pages.h"

#include "dispatcher.h"
#include "form_main.h"
#include "ff_libraries.h"
#include "ff_logger.h"
#include "log_sink.h"
#include "page_step1.h"
#include "page_step3.h"
#include "util_funcs.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QTreeWidget>
#include <QUrl>

// The encoder as the run sees it, with its events behind a gate: closing the
// window shuts the gate, so no engine event reaches the closing window while
// the engine stops, and the engine's handlers are never rewritten while its
// workers may read them.
class TConversionPages::TGatedJobs final : public IJobEncoder {
public:
    explicit TGatedJobs(TEncoderJobs& jobs) : jobs_(jobs) {}
    int AddTask(const std::string& f, TInputOptions& o) override { return jobs_.AddTask(f, o); }
    bool AddInputFile(int t, const std::string& f, TInputOptions& o) override { return jobs_.AddInputFile(t, f, o); }
    bool SetOutputFile(int t, const std::string& f, TOutputOptions& o) override {
        return jobs_.SetOutputFile(t, f, o);
    }
    void RemoveTask(int t) override { jobs_.RemoveTask(t); }
    void ClearTasks() override { jobs_.ClearTasks(); }
    void Start(int n) override { jobs_.Start(n); }
    void Stop(bool wait) override { jobs_.Stop(wait); }
    int TaskCount() const override { return jobs_.TaskCount(); }
    std::string LastErrorMessage() const override { return jobs_.LastErrorMessage(); }
    void SetPreview(bool preview) override { jobs_.SetPreview(preview); }
    TCustomDecoder& Decoder() override { return jobs_.Decoder(); }
    void SetHandlers(TJobProgressHandler onProgress, TJobTerminateHandler onTerminate) override {
        if (!onProgress && !onTerminate) {
            Close();
            return;
        }
        jobs_.SetHandlers(
            [this, h = std::move(onProgress)](const TProgressInfo& info) {
                if (open_ && h) h(info);
            },
            [this, h = std::move(onTerminate)](const TTerminateInfo& info) {
                if (open_ && h) h(info);
            });
    }
    void Close() { open_ = false; }
    bool IsOpen() const { return open_; }

private:
    TEncoderJobs& jobs_;
    std::atomic<bool> open_{true};
};

TConversionPages::TConversionPages(TFormMain& form, IDesktopServices& services, ILogSink* log,
                                   IDispatcher& dispatcher)
    : QObject(&form),
      form_(form),
      log_(log),
      step1_(form.Step1()),
      step3_(form.Step3()),
      encoder_(&dispatcher),
      jobs_(encoder_),
      gated_(std::make_unique<TGatedJobs>(jobs_)),
      list_(this),
      run_(form.Config(), form.Settings(), *gated_, list_, *this, *this, log, &dispatcher),
      previews_(&form) {
    setObjectName("ConversionPages");
    run_.ExeFolder = form.ExeFolder();
    step1_->Attach(form.Config(), form.Settings(), services, log, encoder_.Decoder(), &dispatcher);
    encoder_.OnPreviewBitmap = [this](TCustomEncoder*, const TPreviewInfo& info) {
        if (gated_->IsOpen() && info.Bitmap) previews_.ShowFrame(info.TaskIndex, *info.Bitmap, info.PTS);
    };
    // Engine lines reach the log window as "#" + thread id + "." + level + ": " + message.
    FFLogger().SetLogLevel(llError);
    FFLogger().SetOnLog([this](void* sender, uint32_t threadId, TLogLevel level, const std::string& message) {
        run_.FFLoggerLog(sender, threadId, level, message);
    });
    connect(step3_->CheckBoxPreview, &QCheckBox::toggled, this, &TConversionPages::CheckBoxPreviewClick);
    form.installEventFilter(this);
}

TConversionPages::~TConversionPages() {
    FFLogger().SetOnLog({});
    gated_->Close();
    if (step1_) step1_->AbortAdding();
    encoder_.Stop(true);
    previews_.CloseAll();
}

void TConversionPages::LoadCodecLibraries(const std::string& exeFolder) {
    std::string error;
    if (!::LoadCodecLibraries(exeFolder, error) && log_) log_->AppendLine(error);
}

void TConversionPages::DetachEngineEvents() {
    gated_->Close();
    step1_->AbortAdding();
}

void TConversionPages::StopEngine() { encoder_.Stop(true); }

void TConversionPages::StartConversion() {
    if (run_.Running()) return;
    // New tasks: the windows and refusals of the previous run are gone.
    previews_.CloseAll();
    const bool preview = step3_->CheckBoxPreview->isChecked();
    encoder_.SetPreview(preview);
    encoder_.SetPreviewBitmap(preview);
    run_.OutputName = form_.ChosenOutputName();
    // Files left out of the run (a file may have gone since it was added)
    // count as failed files, each with its line on Step4.
    run_.StartConversion(step1_->JobInputs());
}

void TConversionPages::StopConversion() { run_.Cancel(); }

void TConversionPages::ClearConversionList() { list_.Clear(); }

void TConversionPages::CheckBoxPreviewClick(bool on) {
    // The engine shows no windows itself: its preview pictures feed ours.
    run_.SetPreview(on);
    encoder_.SetPreviewBitmap(on);
    previews_.PreviewSwitched(on);
}

void TConversionPages::WMDropFiles(const std::vector<std::string>& paths) {
    // Files dropped on the mode page land on the list, which comes to the front.
    if (form_.ActivePage() == wpMode) {
        form_.SetActivePage(wpStep1);
        form_.UpdatePageTexts();
    }
    step1_->WMDropFiles(paths);
}

bool TConversionPages::TakesDrops() const {
    // Files join the list while it is being put together, not while a run
    // uses it or after it, when Finish would empty it again.
    const TWizardPage page = form_.ActivePage();
    return page == wpMode || page == wpStep1 || page == wpStep2;
}

bool TConversionPages::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &form_) return QObject::eventFilter(watched, event);
    auto localFiles = [](const QMimeData* mime) {
        std::vector<std::string> paths;
        if (!mime || !mime->hasUrls()) return paths;
        for (const QUrl& url : mime->urls())
            if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
        return paths;
    };
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* e = static_cast<QDragMoveEvent*>(event);
            if (TakesDrops() && !localFiles(e->mimeData()).empty())
                e->acceptProposedAction();
            else
                e->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            const std::vector<std::string> paths = localFiles(e->mimeData());
            if (!TakesDrops() || paths.empty()) {
                e->ignore();
                return true;
            }
            e->acceptProposedAction();
            WMDropFiles(paths);
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}

void TConversionPages::ClearRows() {
    step3_->ListViewConverting->clear();
    step3_->ListViewConverting->setColumnWidth(ccDuration, ConvertColumnWidths[ccDuration]);
}

void TConversionPages::AddRow(const TConvertRow& row) {
    QStringList cells;
    for (const std::string& cell : row.Cells) cells << QString::fromStdString(cell);
    QTreeWidget* list = step3_->ListViewConverting;
    list->addTopLevelItem(new QTreeWidgetItem(cells));
    // The duration column widens to its texts where the font needs more room.
    const int durationWidth = list->fontMetrics().horizontalAdvance(cells[ccDuration]) + 12;
    if (durationWidth > list->columnWidth(ccDuration)) list->setColumnWidth(ccDuration, durationWidth);
}

void TConversionPages::SetCell(int row, TConvertColumn column, const std::string& text) {
    if (QTreeWidgetItem* item = step3_->ListViewConverting->topLevelItem(row))
        item->setText(column, QString::fromStdString(text));
}

void TConversionPages::SetColumnTitles(const std::string& status, const std::string& progress) {
    QTreeWidgetItem* header = step3_->ListViewConverting->headerItem();
    header->setText(ccStatus, QString::fromStdString(status));
    header->setText(ccProgress, QString::fromStdString(progress));
}

void TConversionPages::SetCurrentFileTitle(const std::string& title) {
    step3_->LabelCurrentFileTitle->setText(QString::fromStdString(title));
}

void TConversionPages::SetCurrentFile(const std::string& text) {
    // A long path keeps its start and its file name; the tool tip has it whole.
    QLabel* label = step3_->LabelCurrentFile;
    const QString full = QString::fromStdString(text);
    label->setText(label->fontMetrics().elidedText(full, Qt::ElideMiddle, label->width()));
    label->setToolTip(label->text() == full ? QString() : full);
}

void TConversionPages::SetProgress(int position, const std::string& text) {
    step3_->ProgressBar->setValue(position);
    step3_->LabelProgress->setText(QString::fromStdString(text));
}

void TConversionPages::SetTimes(const std::string& estimated, const std::string& elapsed, const std::string& left) {
    step3_->LabelEstimated->setText(QString::fromStdString(estimated));
    step3_->LabelElapsed->setText(QString::fromStdString(elapsed));
    step3_->LabelTimeLeft->setText(QString::fromStdString(left));
}

void TConversionPages::SetOutputSize(const std::string& text) {
    step3_->LabelEstimatedSize->setText(QString::fromStdString(text));
}

void TConversionPages::RunEnded() {
    // The tasks were freed with the run's end: so are their previews.
    previews_.CloseAll();
}

void TConversionPages::PlaySoundFile(const std::string& path) { form_.PlaySoundFile(path); }

bool TConversionPages::ShowShutdownCountdown() { return form_.ShowShutdownCountdown(); }

void TConversionPages::ShutdownComputer() { form_.ShutdownComputer(); }

void TConversionPages::ShowConversionSummary(const TConversionResult& result) {
    form_.ShowConversionSummary(result);
}
