#include "page_step6.h"

#include "page_helpers.h"

#include <QGroupBox>
#include <QProgressBar>
#include <QTreeWidget>

TPageStep6::TPageStep6(QWidget* parent) : QWidget(parent) {
    ListViewURLDownload = Place(new QTreeWidget(this), "ListViewURLDownload", QRect(8, 8, 529, 196));
    ListViewURLDownload->setRootIsDecorated(false);
    ListViewURLDownload->setHeaderLabels({"Name", "Status", "Size", "Speed", "Progress", "URL", ""});
    const int widths[] = {380, 250, 80, 70, 70, 600, 50};
    for (int i = 0; i < 7; ++i) ListViewURLDownload->setColumnWidth(i, widths[i]);

    auto* status = Place(new QGroupBox("Status", this), "GroupBoxURLStatus", QRect(8, 212, 529, 206));
    const char* titles[] = {"Current file:", "Status:", "Speed:", "Elapsed time:", "Time left:", "Quality:"};
    const char* names[] = {"LabelURLCurrentFile", "LabelURLStatus",   "LabelSpeed",
                           "LabelURLElapsedTime", "LabelURLTimeLeft", "LabelQuality"};
    QLabel** values[] = {&LabelURLCurrentFile, &LabelURLStatus,   &LabelSpeed,
                         &LabelURLElapsedTime, &LabelURLTimeLeft, &LabelQuality};
    for (int i = 0; i < 6; ++i) {
        AddLabel(status, nullptr, titles[i], QRect(12, 24 + i * 24, 100, 18));
        *values[i] = AddLabel(status, names[i], "...", QRect(116, 24 + i * 24, 400, 18));
        // Titles and reasons come from the video site: never read as markup.
        (*values[i])->setTextFormat(Qt::PlainText);
    }
    ProgressBarDownload = AddProgressBar(status, "ProgressBarDownload", QRect(12, 172, 450, 18));
    LabelProgressBarDownload = AddLabel(status, "LabelProgressBarDownload", "0%", QRect(468, 172, 48, 18));
    LabelProgressBarDownload->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void TPageStep6::ClearDownloads() { ListViewURLDownload->clear(); }
