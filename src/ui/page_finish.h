#pragma once
// Step4 and Step7: the summary at the end of a conversion or a download run.
#include <QWidget>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

class TPageFinish : public QWidget {
    Q_OBJECT
public:
    enum TKind { fkConversion, fkDownload };
    TPageFinish(TKind kind, QWidget* parent = nullptr);
    // Puts the title where the texts say "%s".
    void FillTitle();
    // The first line: finished, or cancelled (a cancelled run never says finished).
    void ShowCancelled(bool cancelled);
    // The outputs written, the first one selected; Play only with one.
    void ShowOutputs(const QStringList& files);

    QLabel* LabelFinished;
    QLabel* LabelClosing;
    QLabel *LabelTotalFiles, *LabelSucceeded, *LabelFailed;  // the three numbers
    QLabel* LabelOpenFolder;
    QLabel* LabelCancelled;  // "Cancelled" beside the heading after a cancelled run
    QPlainTextEdit* MemoErrorLog = nullptr;            // a line per failed file or link
    QPushButton* ButtonConvertDownloaded = nullptr;    // download only
    // Conversion only: every output written, by its full path; Play opens the
    // selected one. After a failed file: join the rest again, or go back to
    // the list with the failed rows marked.
    QLabel* LabelOutputsTitle = nullptr;  // "Written:", or "Nothing was written."
    QListWidget* ListOutputs = nullptr;
    QLabel* LabelPlay = nullptr;
    QPushButton* ButtonJoinAgain = nullptr;
    QPushButton* ButtonBackToList = nullptr;

private:
    QString finished_, cancelled_;
};
