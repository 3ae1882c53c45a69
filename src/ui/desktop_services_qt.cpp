#include "desktop_services_qt.h"

#include "sound_player.h"
#include "app_title.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }

// Standard buttons in the order the message dialog lays them out.
const std::pair<TMsgDlgBtn, QMessageBox::StandardButton> kButtons[] = {
    {mbYes, QMessageBox::Yes},         {mbNo, QMessageBox::No},           {mbOK, QMessageBox::Ok},
    {mbCancel, QMessageBox::Cancel},   {mbAbort, QMessageBox::Abort},     {mbRetry, QMessageBox::Retry},
    {mbIgnore, QMessageBox::Ignore},   {mbAll, QMessageBox::YesToAll},    {mbNoToAll, QMessageBox::NoToAll},
    {mbYesToAll, QMessageBox::YesToAll}, {mbHelp, QMessageBox::Help},
};

int ModalResultOf(QMessageBox::StandardButton b, TMsgDlgButtons asked) {
    switch (b) {
        case QMessageBox::Yes: return mrYes;
        case QMessageBox::No: return mrNo;
        case QMessageBox::Ok: return mrOk;
        case QMessageBox::Cancel: return mrCancel;
        case QMessageBox::Abort: return mrAbort;
        case QMessageBox::Retry: return mrRetry;
        case QMessageBox::Ignore: return mrIgnore;
        case QMessageBox::YesToAll: return (asked & mbYesToAll) ? mrYesToAll : mrAll;
        case QMessageBox::NoToAll: return mrNoToAll;
        default: return (asked & mbCancel) ? mrCancel : mrNone;
    }
}
}  // namespace

TQtDesktopServices::TQtDesktopServices(ISoundPlayer* sounds)
    : OpenUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); }), sounds_(sounds) {}

void TQtDesktopServices::OpenDocument(const std::string& target) {
    if (target.empty()) return;
    const QString t = Q(target);
    QUrl url = QUrl(t);
    if (t.startsWith('/')) {
        // A local file with a place in it ("help.html#SECTION").
        const qsizetype hash = t.indexOf('#');
        url = QUrl::fromLocalFile(hash > 0 ? t.left(hash) : t);
        if (hash > 0) url.setFragment(t.mid(hash + 1));
    }
    if (OpenUrl(url)) return;
    const QString shown = url.isLocalFile() ? url.toLocalFile() : url.toString();
    ShowError("No program could be started to open\n" + shown.toStdString() +
                  "\n\nThe desktop has no program set up for it (xdg-open missing or failing); open it by hand.",
              AppTitle);
}

bool TQtDesktopServices::BrowseForFolder(std::string& folder, const std::string& prompt, const std::string& root) {
    const QString start = Q(folder.empty() ? root : folder);
    QString chosen = QFileDialog::getExistingDirectory(owner_, Q(prompt), start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return false;
    while (chosen.size() > 1 && chosen.endsWith('/')) chosen.chop(1);
    folder = chosen.toStdString();
    return true;
}

int TQtDesktopServices::ShowCustomMessageDialog(const std::string& message, const std::string& caption,
                                                 TMsgDlgType kind, int highestCaptionIndex,
                                                 const std::vector<std::string>& captions, TMsgDlgButtons buttons) {
    QMessageBox box(owner_);
    box.setWindowTitle(Q(caption));
    box.setText(Q(message));
    const char* sound = "bell";
    switch (kind) {
        case TMsgDlgType::mtWarning: box.setIcon(QMessageBox::Warning); sound = "dialog-warning"; break;
        case TMsgDlgType::mtError: box.setIcon(QMessageBox::Critical); sound = "dialog-error"; break;
        case TMsgDlgType::mtInformation: box.setIcon(QMessageBox::Information); break;  // the default sound
        case TMsgDlgType::mtConfirmation: box.setIcon(QMessageBox::Question); sound = "dialog-question"; break;
        case TMsgDlgType::mtCustom: break;
    }
    int index = 0;
    for (const auto& [flag, standard] : kButtons) {
        if (!(buttons & flag)) continue;
        QPushButton* b = box.addButton(standard);
        if (index <= highestCaptionIndex && index < static_cast<int>(captions.size()) && !captions[index].empty())
            b->setText(Q(captions[index]));
        ++index;
    }
    if (sounds_) sounds_->PlayEvent(sound);
    box.exec();
    return ModalResultOf(box.standardButton(box.clickedButton()), buttons);
}

void TQtDesktopServices::ShowInformation(const std::string& text, const std::string& caption) {
    QMessageBox::information(owner_, Q(caption), Q(text), QMessageBox::Ok);
}

void TQtDesktopServices::ShowError(const std::string& text, const std::string& caption) {
    QMessageBox::critical(owner_, Q(caption), Q(text), QMessageBox::Ok);
}

bool TQtDesktopServices::AskYesNo(const std::string& text, const std::string& caption) {
    return QMessageBox::question(owner_, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void TQtDesktopServices::BeginWaitCursor() {
    if (waitCursor_.Begin()) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TQtDesktopServices::EndWaitCursor() {
    if (waitCursor_.End()) QApplication::restoreOverrideCursor();
}
