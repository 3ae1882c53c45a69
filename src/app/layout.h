#pragma once
// Layout arithmetic of the main window: format and class button cells and the
// per-skin positions. Pure functions; the window applies the results.
#include "product_config.h"

#include <array>

struct TPoint {
    int X = 0, Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Cell n of a format page W pixels wide (62 x 57 buttons, gaps 2 and 3).
TPoint FormatButtonCell(int n, int pageWidth);
// Cell n of the class-button row on a Step2 page W pixels wide.
TPoint ClassButtonCell(int n, int pageWidth);

inline constexpr int FormatPagesTopWithClassButtons = 172;
inline constexpr int FormatPagesTopWithoutClassButtons = 120;

struct TFormatLayout {
    // Per [class][code]: shown, and where.
    std::array<std::array<bool, MaxFormatsPerClass>, FormatClassCount> ButtonVisible{};
    std::array<std::array<TPoint, MaxFormatsPerClass>, FormatClassCount> ButtonPos{};
    std::array<bool, FormatClassCount> ClassVisible{};
    std::array<TPoint, FormatClassCount> ClassPos{};
    int FormatPagesTop = FormatPagesTopWithClassButtons;
};

// Lays out the offered format buttons densely per page, hides a class without
// buttons, and hides all class buttons when exactly one class is left.
TFormatLayout LayoutFormats(const TProductConfig& config, int formatPageWidth, int step2PageWidth);

struct TSkinLayout {
    TPoint Minimise, Close, Help, Log, Back, Next, Exit, PageArea, TitleText;
    int HelpMenuOffset = 0;
    bool WindowButtonsHidden = false;
    // Skin 3: transparent bottom buttons with white captions and a plain title.
    bool TransparentButtons = false;
    bool BoldTitle = true;
};

// The layout of a skin; any value outside 0..3 gives the design layout (skin 0).
TSkinLayout SkinLayout(int skinIndex);
