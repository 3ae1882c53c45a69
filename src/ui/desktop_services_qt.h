#pragma once
// The desktop services on Qt: the shell opens documents and links, the folder
// picker and message boxes are Qt dialogs, the wait cursor is the override cursor.
#include "desktop_services.h"

#include <functional>

class QUrl;
class QWidget;
class ISoundPlayer;

class TQtDesktopServices final : public IDesktopServices {
public:
    explicit TQtDesktopServices(ISoundPlayer* sounds = nullptr);
    // Dialogs are owned by this window (centred on it); may change at any time.
    void SetOwner(QWidget* owner) { owner_ = owner; }

    // A target that no program could be started for is named in an error box.
    void OpenDocument(const std::string& target) override;
    // How a target is handed to the desktop; tests replace it.
    std::function<bool(const QUrl&)> OpenUrl;
    bool BrowseForFolder(std::string& folder, const std::string& prompt, const std::string& root) override;
    int ShowCustomMessageDialog(const std::string& message, const std::string& caption, TMsgDlgType kind,
                                int highestCaptionIndex, const std::vector<std::string>& captions,
                                TMsgDlgButtons buttons) override;
    void ShowInformation(const std::string& text, const std::string& caption) override;
    void ShowError(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

private:
    QWidget* owner_ = nullptr;
    ISoundPlayer* sounds_;
    WaitCursorCounter waitCursor_;
};
