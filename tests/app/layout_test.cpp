#include "layout.h"

#include <gtest/gtest.h>

namespace {
TProductConfig With(std::initializer_list<TFormatCode> enabled) {
    TProductConfig config;
    for (auto c : enabled) config.FormatEnabled[c.Class][c.Code] = true;
    return config;
}
}  // namespace

TEST(Layout, FormatCellsOnA525PixelPage) {
    EXPECT_EQ(FormatButtonCell(0, 525), (TPoint{10, 5}));
    EXPECT_EQ(FormatButtonCell(1, 525), (TPoint{74, 5}));
    EXPECT_EQ(FormatButtonCell(6, 525), (TPoint{394, 5}));
    EXPECT_EQ(FormatButtonCell(7, 525), (TPoint{458, 5}));
    EXPECT_EQ(FormatButtonCell(8, 525), (TPoint{10, 65}));
    // Narrower than one column: one column.
    EXPECT_EQ(FormatButtonCell(2, 40), (TPoint{10, 125}));
    EXPECT_EQ(ClassButtonCell(1, 560), (TPoint{189, 135}));
    EXPECT_EQ(ClassButtonCell(3, 560), (TPoint{18 + 171 * 0, 135 + 32}));
}

TEST(Layout, HiddenButtonsLeaveNoGaps) {
    TProductConfig config;
    for (int i = 0; i < 9; ++i) config.FormatEnabled[fcVideo][i] = true;
    config.FormatEnabled[fcVideo][vfMP4] = false;
    const TFormatLayout l = LayoutFormats(config, 525, 560);
    EXPECT_FALSE(l.ButtonVisible[fcVideo][vfMP4]);
    EXPECT_EQ(l.ButtonPos[fcVideo][vfFLV], (TPoint{74, 5}));
    EXPECT_EQ(l.ButtonPos[fcVideo][vf3GP], (TPoint{458, 5}));
}

TEST(Layout, ClassButtonsFollowTheOfferedClasses) {
    TFormatLayout l = LayoutFormats(With({{fcAudio, afMP3}, {fcAudio, afWAV}}), 525, 560);
    EXPECT_EQ(l.ClassVisible, (std::array<bool, 3>{false, false, false}));
    EXPECT_EQ(l.FormatPagesTop, 120);

    l = LayoutFormats(With({{fcVideo, vfAVI}, {fcAudio, afWAV}}), 525, 560);
    EXPECT_EQ(l.ClassVisible, (std::array<bool, 3>{true, false, true}));
    EXPECT_EQ(l.ClassPos[fcVideo], (TPoint{18, 135}));
    EXPECT_EQ(l.ClassPos[fcAudio], (TPoint{189, 135}));
    EXPECT_EQ(l.FormatPagesTop, 172);

    l = LayoutFormats(TProductConfig{}, 525, 560);
    EXPECT_EQ(l.ClassVisible, (std::array<bool, 3>{false, false, false}));
    EXPECT_EQ(l.FormatPagesTop, 172);
}

TEST(Layout, SkinTable) {
    EXPECT_EQ(SkinLayout(0).Next, (TPoint{522, 510}));
    EXPECT_EQ(SkinLayout(1).Close, (TPoint{794, 3}));
    EXPECT_EQ(SkinLayout(2).HelpMenuOffset, 5);
    EXPECT_EQ(SkinLayout(2).PageArea, (TPoint{198, 74}));
    EXPECT_TRUE(SkinLayout(3).WindowButtonsHidden);
    EXPECT_FALSE(SkinLayout(3).BoldTitle);
    EXPECT_EQ(SkinLayout(3).TitleText, (TPoint{215, 55}));
    const TSkinLayout seven = SkinLayout(7), zero = SkinLayout(0);
    EXPECT_EQ(seven.Exit, zero.Exit);
    EXPECT_EQ(seven.PageArea, zero.PageArea);
    EXPECT_EQ(seven.HelpMenuOffset, 0);
    EXPECT_TRUE(seven.BoldTitle);
}
