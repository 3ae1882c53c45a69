#pragma once
// The desktop services on Qt: the shell opens documents and links, the folder
// picker and message boxes are Qt dialogs, the wait cursor is the override cursor.
#include "desktop_services.h"

class QWidget;
class ISoundPlayer;

class TQtDesktopServices final : public IDesktopServices {
public:
    explicit TQtDesktopServices(ISoundPlayer* sounds = nullptr) : sounds_(sounds) {}
    // Dialogs are owned by this window (centred on it); may change at any time.
    void SetOwner(QWidget* owner) { owner_ = owner; }

    void OpenDocument(const std::string& target) override;
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
