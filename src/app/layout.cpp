#include "layout.h"

TPoint FormatButtonCell(int n, int pageWidth) {
    int columns = (pageWidth - 10 - 2) / 62;
    if (columns <= 0) columns = 1;
    return {10 + (n % columns) * (62 + 2), 5 + (n / columns) * (57 + 3)};
}

TPoint ClassButtonCell(int n, int pageWidth) {
    int columns = (pageWidth - 18) / 171;
    if (columns <= 0) columns = 1;
    return {18 + (n % columns) * 171, 135 + (n / columns) * 32};
}

TFormatLayout LayoutFormats(const TProductConfig& config, int formatPageWidth, int step2PageWidth) {
    TFormatLayout layout;
    for (int cls = 0; cls < FormatClassCount; ++cls) {
        int cell = 0;
        for (int code = 0; code < FormatsInClass(cls); ++code) {
            if (!config.FormatEnabled[cls][code]) continue;
            layout.ButtonVisible[cls][code] = true;
            layout.ButtonPos[cls][code] = FormatButtonCell(cell++, formatPageWidth);
        }
        layout.ClassVisible[cls] = cell > 0;
    }
    int visible = 0;
    for (int cls = 0; cls < FormatClassCount; ++cls)
        if (layout.ClassVisible[cls]) layout.ClassPos[cls] = ClassButtonCell(visible++, step2PageWidth);
    if (visible == 1) {
        layout.ClassVisible = {};
        layout.FormatPagesTop = FormatPagesTopWithoutClassButtons;
    }
    return layout;
}

TSkinLayout SkinLayout(int skinIndex) {
    TSkinLayout s;
    switch (skinIndex) {
        case 1:
            s = {{766, 3}, {794, 3}, {25, 566}, {120, 566}, {400, 566}, {495, 566}, {730, 566}, {240, 110}, {252, 70}};
            break;
        case 2:
            s = {{696, 6}, {728, 4}, {40, 513}, {138, 513}, {426, 513}, {522, 513}, {672, 513}, {198, 74}, {24, 43}};
            s.HelpMenuOffset = 5;
            break;
        case 3:
            s = {{0, 0}, {0, 0}, {10, 515}, {120, 515}, {350, 515}, {460, 515}, {665, 515}, {203, 74}, {215, 55}};
            s.WindowButtonsHidden = true;
            s.TransparentButtons = true;
            s.BoldTitle = false;
            break;
        default:
            s = {{696, 4}, {728, 4}, {40, 510}, {138, 510}, {426, 510}, {522, 510}, {672, 510}, {203, 74}, {24, 43}};
            break;
    }
    return s;
}
