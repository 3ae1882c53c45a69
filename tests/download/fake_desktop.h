#pragma once
// Desktop services that record every message box and answer from a script.
#include <deque>
#include <string>
#include <vector>

#include "desktop_services.h"

class FakeDesktop : public IDesktopServices {
public:
    struct Box {
        std::string Text, Caption;
        TMsgDlgType Kind;
        TMsgDlgButtons Buttons;
    };
    std::vector<Box> Boxes;
    // Answers of the next message boxes; mrOk (or Yes) once they run out.
    std::deque<int> Answers;
    std::vector<std::string> Opened;

    void OpenDocument(const std::string& target) override { Opened.push_back(target); }
    bool BrowseForFolder(std::string&, const std::string&, const std::string&) override { return false; }
    int ShowCustomMessageDialog(const std::string& message, const std::string& caption, TMsgDlgType kind, int,
                                const std::vector<std::string>&, TMsgDlgButtons buttons) override {
        Boxes.push_back({message, caption, kind, buttons});
        return Next(mrOk);
    }
    void ShowInformation(const std::string& text, const std::string& caption) override {
        Boxes.push_back({text, caption, TMsgDlgType::mtInformation, mbOK});
    }
    void ShowError(const std::string& text, const std::string& caption) override {
        Boxes.push_back({text, caption, TMsgDlgType::mtError, mbOK});
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        Boxes.push_back({text, caption, TMsgDlgType::mtConfirmation, mbYes | mbNo});
        return Next(mrYes) == mrYes;
    }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}

private:
    int Next(int fallback) {
        if (Answers.empty()) return fallback;
        const int a = Answers.front();
        Answers.pop_front();
        return a;
    }
};
