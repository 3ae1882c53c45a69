#include "wizard_pages.h"

#include "app_title.h"
#include "util_funcs.h"

std::string WithTitle(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            out += AppTitle;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

TWizardPage FirstPage(const TProductConfig& config) { return config.DownloadEnabled ? wpMode : wpStep1; }

TPageTexts PageTexts(TWizardPage page, const TProductConfig& config, bool joinFiles) {
    TPageTexts t;
    t.Back = "Back";
    t.Next = "Next";
    t.Exit = "Cancel";
    switch (page) {
        case wpMode:
            t.Title = WithTitle("Welcome to %s! What do you want to do?");
            t.NextEnabled = true;
            t.Exit = "Exit";
            break;
        case wpStep1:
            t.Title = "Select the file(s) you want to convert. Use \"Move Up\" and \"Move Down\" to change the order.";
            t.BackEnabled = config.DownloadEnabled;
            t.NextEnabled = true;
            t.Exit = config.DownloadEnabled ? "Cancel" : "Exit";
            break;
        case wpStep2:
            t.Title = "Select an output mode and specify a path for the output files.";
            t.BackEnabled = true;
            t.Next = joinFiles ? "Join Now" : "Convert";
            t.NextEnabled = true;
            break;
        case wpStep3:
            t.Title = "Conversion information.";
            break;
        case wpStep4:
            t.Title = "The conversion is finished.";
            t.Next = "Finish";
            t.NextEnabled = true;
            t.Exit = "Exit";
            break;
        case wpStep5:
            t.Title = "Copy a YouTube link from your browser address bar and Paste here";
            t.BackEnabled = true;
            t.Next = "Download";
            t.NextEnabled = true;
            break;
        case wpStep6:
            t.Title = "Downloading information.";
            break;
        case wpStep7:
            t.Title = "The downloading is finished.";
            t.Next = "Finish";
            t.NextEnabled = true;
            t.Exit = "Exit";
            break;
    }
    return t;
}

bool PrepareOutputFolder(const std::string& folder) {
    if (folder.empty() || folder.front() != PathDelim) return false;
    return DirectoryExists(folder) || ForceDirectories(folder);
}
