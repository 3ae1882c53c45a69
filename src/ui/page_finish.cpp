#include "page_finish.h"

#include "page_helpers.h"
#include "wizard_pages.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
// Step4's outputs, error lines and the two ways on after a failed file.
void AddConversionParts(TPageFinish& page) {
    page.LabelOutputsTitle = AddLabel(&page, "LabelOutputsTitle", "Written:", QRect(18, 140, 300, 18), true);
    page.ListOutputs = Place(new QListWidget(&page), "ListOutputs", QRect(18, 160, 509, 52));
    page.ListOutputs->setAccessibleName("Written files");
    page.MemoErrorLog = Place(new QPlainTextEdit(&page), "MemoErrorLog", QRect(18, 218, 509, 76));
    page.MemoErrorLog->setReadOnly(true);
    page.MemoErrorLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    page.MemoErrorLog->setAccessibleName("Failed files");
    page.MemoErrorLog->hide();
    page.ButtonJoinAgain =
        Place(new QPushButton("Join &again without them", &page), "ButtonJoinAgain", QRect(18, 300, 200, 28));
    page.ButtonJoinAgain->setAccessibleDescription("Joins the same list with the same choices, without the failed files");
    page.ButtonBackToList =
        Place(new QPushButton("Bac&k to the list", &page), "ButtonBackToList", QRect(226, 300, 150, 28));
    page.ButtonBackToList->setAccessibleDescription("Shows the list of files as it was, the failed ones marked");
    page.ButtonJoinAgain->hide();
    page.ButtonBackToList->hide();
    page.LabelPlay = AddLinkLabel(&page, "LabelPlay", "Play", QRect(18, 336, 60, 20));
}

// A link the keyboard reaches with Tab and opens with Return.
void KeyboardLink(QLabel* label) {
    label->setTextInteractionFlags(Qt::LinksAccessibleByKeyboard | Qt::LinksAccessibleByMouse);
    label->setFocusPolicy(Qt::TabFocus);
}
}  // namespace

TPageFinish::TPageFinish(TKind kind, QWidget* parent) : QWidget(parent) {
    const bool conversion = kind == fkConversion;
    finished_ = conversion ? "%s has finished the conversion." : "%s has finished the downloading.";
    cancelled_ = conversion ? "The conversion was cancelled." : "The downloading was cancelled.";
    LabelFinished = AddLabel(this, conversion ? "LabelFinishConversion" : "LabelFinishDownloading", finished_,
                             QRect(18, 16, 510, 22), true);
    AddLabel(this, nullptr, "Summary", QRect(18, conversion ? 46 : 52, 120, 20), true);
    // The numbers below are what finished before the user cancelled.
    LabelCancelled = AddLabel(this, conversion ? "LabelFinishCancelled" : "LabelURLCancelled", "Cancelled",
                              QRect(150, conversion ? 46 : 52, 200, 20), true);
    LabelCancelled->setStyleSheet("color: #b00000");
    LabelCancelled->hide();
    const char* titles[] = {"Total files:", "Successed:", "Failed:"};
    const char* names[2][3] = {{"LabelFinishTotalFiles", "LabelFinishSuccessed", "LabelFinishFailed"},
                               {"LabelURLTotalFiles", "LabelURLSucedded", "LabelURLFailed"}};
    QLabel** numbers[] = {&LabelTotalFiles, &LabelSucceeded, &LabelFailed};
    const int top = conversion ? 70 : 80, step = conversion ? 20 : 22;
    for (int i = 0; i < 3; ++i) {
        AddLabel(this, nullptr, titles[i], QRect(36, top + i * step, 110, 18));
        *numbers[i] = AddLabel(this, names[conversion ? 0 : 1][i], "0", QRect(150, top + i * step, 100, 18), true);
    }
    if (conversion) {
        AddConversionParts(*this);
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
                                   QRect(conversion ? 90 : 18, conversion ? 336 : 320, 200, 20));
    for (QLabel* link : {LabelPlay, LabelOpenFolder})
        if (link) KeyboardLink(link);
    LabelClosing = AddLabel(this, nullptr, "To convert other files, click \"Finish\". Click \"Exit\" to quit %s.",
                            QRect(18, conversion ? 364 : 356, 509, 40));
    LabelClosing->setWordWrap(true);
}

void TPageFinish::FillTitle() {
    finished_ = QString::fromStdString(WithTitle(finished_.toStdString()));
    for (QLabel* label : {LabelFinished, LabelClosing})
        label->setText(QString::fromStdString(WithTitle(label->text().toStdString())));
}

void TPageFinish::ShowCancelled(bool cancelled) {
    LabelCancelled->setVisible(cancelled);
    LabelFinished->setText(cancelled ? cancelled_ : finished_);
}

void TPageFinish::ShowOutputs(const QStringList& files) {
    ListOutputs->clear();
    ListOutputs->addItems(files);
    if (!files.isEmpty()) ListOutputs->setCurrentRow(0);
    ListOutputs->setVisible(!files.isEmpty());
    LabelPlay->setVisible(!files.isEmpty());
    LabelOutputsTitle->setText(files.isEmpty() ? "Nothing was written." : "Written:");
}
