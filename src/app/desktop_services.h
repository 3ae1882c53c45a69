#pragma once
// What the logic needs from the desktop: opening documents, the folder picker,
// message dialogs and the wait cursor. The window layer implements it with Qt;
// tests answer it with a fake.
#include <array>
#include <string>
#include <vector>

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
    mbHelp = 1u << 10,
};
using TMsgDlgButtons = unsigned;

enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

class IDesktopServices {
public:
    virtual ~IDesktopServices() = default;

    // Opens a file, folder or web link with its default handler; reports nothing.
    virtual void OpenDocument(const std::string& target) = 0;

    // Modal folder picker. On confirm: true and the chosen path (no trailing
    // separator) in folder; on cancel: false and folder unchanged.
    virtual bool BrowseForFolder(std::string& folder, const std::string& prompt, const std::string& root) = 0;

    // Modal message dialog; the first buttons (in their order) take the given
    // captions where not empty, up to highestCaptionIndex (-1: none). Plays the
    // kind's system sound first. Returns the pressed button's modal result.
    virtual int ShowCustomMessageDialog(const std::string& message, const std::string& caption, TMsgDlgType kind,
                                        int highestCaptionIndex, const std::vector<std::string>& captions,
                                        TMsgDlgButtons buttons) = 0;

    // Wizard messages: information with OK, error with OK, question with Yes/No.
    virtual void ShowInformation(const std::string& text, const std::string& caption) = 0;
    virtual void ShowError(const std::string& text, const std::string& caption) = 0;
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;

    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
};

// The nesting count behind BeginWaitCursor/EndWaitCursor. The methods return
// true when the cursor has to change (first begin, last end).
class WaitCursorCounter {
public:
    bool Begin() { return ++count_ == 1; }
    bool End() {
        if (count_ <= 0) return false;
        return --count_ == 0;
    }
    int Count() const { return count_; }

private:
    int count_ = 0;
};
