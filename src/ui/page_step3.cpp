#include "page_step3.h"

#include "page_helpers.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QProgressBar>
#include <QTreeWidget>

TPageStep3::TPageStep3(QWidget* parent) : QWidget(parent) {
    ListViewConverting = Place(new QTreeWidget(this), "ListViewConverting", QRect(8, 8, 529, 150));
    ListViewConverting->setRootIsDecorated(false);
    ListViewConverting->setHeaderLabels({"Name", "Duration", "Status", "Progress", "Path"});
    const int widths[] = {240, 80, 95, 95, 300};
    for (int i = 0; i < 5; ++i) ListViewConverting->setColumnWidth(i, widths[i]);

    auto* status = Place(new QGroupBox("Status", this), "GroupBoxStatus", QRect(8, 164, 529, 152));
    const char* titles[] = {"Current file:", "Estimated overall time:", "Elapsed time:", "Time left:",
                            "Overall Progress:"};
    QLabel** values[] = {&LabelCurrentFile, &LabelEstimated, &LabelElapsed, &LabelTimeLeft};
    const char* valueNames[] = {"LabelCurrentFile", "LabelEstimated", "LabelElapsed", "LabelTimeLeft"};
    for (int i = 0; i < 5; ++i) {
        QLabel* title = AddLabel(status, nullptr, titles[i], QRect(12, 24 + i * 24, 150, 18));
        if (i == 0) {
            title->setObjectName("LabelCurrentFileTitle");
            LabelCurrentFileTitle = title;
        }
        if (i < 4) {
            *values[i] = AddLabel(status, valueNames[i], "...", QRect(166, 24 + i * 24, 350, 18));
            (*values[i])->setTextInteractionFlags(Qt::TextSelectableByMouse);
        }
    }
    // The output size the run expects, beside the time left.
    LabelTimeLeft->resize(120, 18);
    AddLabel(status, "LabelEstimatedSizeTitle", "Estimated size:", QRect(300, 96, 100, 18));
    LabelEstimatedSize = AddLabel(status, "LabelEstimatedSize", "...", QRect(404, 96, 112, 18));
    LabelEstimatedSize->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ProgressBar = AddProgressBar(status, "ProgressBar", QRect(166, 120, 300, 18));
    LabelProgress = AddLabel(status, "LabelProgress", "0%", QRect(470, 120, 46, 18));
    LabelProgress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    CheckBoxPreview = Place(new QCheckBox("Preview", this), "CheckBoxPreview", QRect(12, 322, 200, 20));
    QFont bold = CheckBoxPreview->font();
    bold.setBold(true);
    CheckBoxPreview->setFont(bold);

    auto* post = Place(new QGroupBox("Post-Progress Options", this), "GroupBoxPostProgress", QRect(8, 346, 529, 72));
    CheckBoxPlayASound = Place(new QCheckBox("&Play a sound when conversion is finished", post), "CheckBoxPlayASound",
                               QRect(12, 22, 500, 20));
    CheckBoxShutdown = Place(new QCheckBox("&Shut down the computer after all tasks are finished", post),
                             "CheckBoxShutdown", QRect(12, 44, 500, 20));
}
