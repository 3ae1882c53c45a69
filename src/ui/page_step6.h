#pragma once
// Step6: the download in progress; the download run fills it.
#include <QWidget>

class QLabel;
class QProgressBar;
class QTreeWidget;

class TPageStep6 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep6(QWidget* parent = nullptr);
    void ClearDownloads();

    QTreeWidget* ListViewURLDownload;
    QLabel *LabelURLCurrentFile, *LabelURLStatus, *LabelSpeed, *LabelURLElapsedTime, *LabelURLTimeLeft, *LabelQuality;
    QProgressBar* ProgressBarDownload;
    QLabel* LabelProgressBarDownload;
};
