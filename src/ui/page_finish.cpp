#include "page_finish.h"

#include "page_helpers.h"
#include "wizard_pages.h"

#include <QPlainTextEdit>
#include <QPushButton>

TPageFinish::TPageFinish(TKind kind, QWidget* parent) : QWidget(parent) {
    const bool conversion = kind == fkConversion;
    LabelFinished = AddLabel(this, conversion ? "LabelFinishConversion" : "LabelFinishDownloading",
                             conversion ? "%s has finished the conversion." : "%s has finished the downloading.",
                             QRect(18, 16, 510, 22), true);
    AddLabel(this, nullptr, "Summary", QRect(18, 52, 120, 20), true);
    // The numbers below are what finished before the user cancelled.
    LabelCancelled = AddLabel(this, conversion ? "LabelFinishCancelled" : "LabelURLCancelled", "Cancelled",
                              QRect(150, 52, 200, 20), true);
    LabelCancelled->setStyleSheet("color: #b00000");
    LabelCancelled->hide();
    const char* titles[] = {"Total files:", "Successed:", "Failed:"};
    const char* names[2][3] = {{"LabelFinishTotalFiles", "LabelFinishSuccessed", "LabelFinishFailed"},
                               {"LabelURLTotalFiles", "LabelURLSucedded", "LabelURLFailed"}};
    QLabel** numbers[] = {&LabelTotalFiles, &LabelSucceeded, &LabelFailed};
    for (int i = 0; i < 3; ++i) {
        AddLabel(this, nullptr, titles[i], QRect(36, 80 + i * 22, 110, 18));
        *numbers[i] = AddLabel(this, names[conversion ? 0 : 1][i], "0", QRect(150, 80 + i * 22, 100, 18), true);
    }
    if (conversion) {
        MemoErrorLog = Place(new QPlainTextEdit(this), "MemoErrorLog", QRect(18, 156, 509, 150));
        MemoErrorLog->setReadOnly(true);
        MemoErrorLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        MemoErrorLog->hide();
    } else {
        ButtonConvertDownloaded = Place(new QPushButton("Convert the downloaded file(s) now! ", this),
                                        "ButtonConvertDownloaded", QRect(18, 160, 290, 34));
        QFont f = ButtonConvertDownloaded->font();
        f.setBold(true);
        ButtonConvertDownloaded->setFont(f);
        // Why links failed, under the button.
        MemoErrorLog = Place(new QPlainTextEdit(this), "MemoURLErrorLog", QRect(18, 204, 509, 106));
        MemoErrorLog->setReadOnly(true);
        MemoErrorLog->hide();
    }
    LabelOpenFolder = AddLinkLabel(this, conversion ? "LabelOpenFolder" : "LabelURLOpenFolder", "Open folder",
                                   QRect(18, 320, 200, 20));
    LabelClosing = AddLabel(this, nullptr, "To convert other files, click \"Finish\". Click \"Exit\" to quit %s.",
                            QRect(18, 356, 509, 40));
    LabelClosing->setWordWrap(true);
}

void TPageFinish::FillTitle() {
    for (QLabel* label : {LabelFinished, LabelClosing})
        label->setText(QString::fromStdString(WithTitle(label->text().toStdString())));
}
