#pragma once
// The wizard's pages and what the frame shows for each: the title line and the
// captions and states of Back, Next and Exit. Plain data, so the window and
// the tests share one table.
#include "product_config.h"

#include <string>
#include <string_view>

// In the order of the main page control.
enum TWizardPage { wpMode, wpStep1, wpStep2, wpStep3, wpStep4, wpStep5, wpStep6, wpStep7 };
inline constexpr int WizardPageCount = 8;

struct TPageTexts {
    std::string Title;
    std::string Back, Next, Exit;
    bool BackEnabled = false, NextEnabled = false;  // Exit is always enabled
};

// The title line and the bottom-button captions and states of a page;
// joinFiles: Step2's choice, which names its Next "Join Now" or "Convert".
TPageTexts PageTexts(TWizardPage page, const TProductConfig& config, bool joinFiles);
// The mode page when the download path exists, else Step1.
TWizardPage FirstPage(const TProductConfig& config);
// Every "%s" of a text replaced by the application title.
std::string WithTitle(std::string_view text);

// The output folder of Step2 and Step5: exists, or is created with all its
// missing parents. An empty or relative folder never counts as usable (it
// would land in the root or in whatever folder the program was started from).
bool PrepareOutputFolder(const std::string& folder);

// The left (or top) edge that centres an inner extent over an outer one;
// the division truncates toward zero.
inline int CenteredOrigin(int outerOrigin, int outerExtent, int innerExtent) {
    return outerOrigin + (outerExtent - innerExtent) / 2;
}
