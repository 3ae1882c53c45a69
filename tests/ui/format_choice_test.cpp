// The format choice of Step2: layout per configuration, clicks, and the
// moments the choice moves between the controls and the settings.
#include "ui_fixture.h"

#include "catalogue.h"
#include "format_choice.h"
#include "image_buttons.h"
#include "page_step2.h"

#include <QComboBox>
#include <QStackedWidget>

#include <gtest/gtest.h>

namespace {

std::map<std::string, std::string> OnlyFormats(std::initializer_list<const char*> on) {
    std::map<std::string, std::string> config;
    for (const auto& f : AllFormats()) config[std::string(f.ConfigKey)] = "False";
    for (const char* f : on) config[f] = "True";
    return config;
}

TEST(FormatChoice, ButtonLayoutFollowsTheConfiguration) {
    {
        AppUnderTest app;
        ASSERT_TRUE(app.Start());
        TFormatChoice* c = app.form->Step2()->FormatChoice();
        ASSERT_EQ(c->FormatPageWidth(), 529);  // 8 columns
        const QPoint video[] = {{10, 5},   {74, 5},   {138, 5},  {202, 5}, {266, 5}, {330, 5},
                                {394, 5},  {458, 5},  {10, 65},  {74, 65}, {138, 65}};
        for (int code = 0; code < 11; ++code) EXPECT_EQ(c->FormatButton(fcVideo, code)->pos(), video[code]);
        EXPECT_EQ(c->FormatButton(fcAudio, afMP2)->pos(), QPoint(458, 5));
        for (int cls = 0; cls < 3; ++cls) {
            EXPECT_FALSE(c->ClassButton(cls)->isHidden());
            EXPECT_EQ(c->ClassButton(cls)->pos(), QPoint(18 + 171 * cls, 135));
        }
        EXPECT_EQ(c->PageControl()->y(), 172);
    }
    {
        auto config = OnlyFormats({"AVI", "FLV", "3GP", "WAV"});
        AppUnderTest app(config);
        ASSERT_TRUE(app.Start());
        TFormatChoice* c = app.form->Step2()->FormatChoice();
        EXPECT_TRUE(c->FormatButton(fcVideo, vfMP4)->isHidden());
        EXPECT_EQ(c->FormatButton(fcVideo, vfFLV)->pos(), QPoint(74, 5));  // dense cells
        EXPECT_EQ(c->FormatButton(fcVideo, vf3GP)->pos(), QPoint(138, 5));
        // Video and Audio take cells 0 and 1; Device has no buttons.
        EXPECT_EQ(c->ClassButton(fcVideo)->pos(), QPoint(18, 135));
        EXPECT_EQ(c->ClassButton(fcAudio)->pos(), QPoint(189, 135));
        EXPECT_TRUE(c->ClassButton(fcDevice)->isHidden());
        EXPECT_EQ(c->PageControl()->y(), 172);
    }
    {
        AppUnderTest app(OnlyFormats({"MP3", "OGG"}));
        ASSERT_TRUE(app.Start());
        TFormatChoice* c = app.form->Step2()->FormatChoice();
        for (int cls = 0; cls < 3; ++cls) EXPECT_TRUE(c->ClassButton(cls)->isHidden());
        EXPECT_EQ(c->PageControl()->y(), 120);
        EXPECT_EQ(c->FormatButton(fcAudio, afOGG)->pos(), QPoint(74, 5));
    }
}

TEST(FormatChoice, FirstVisitShowsTheDefaultsAndClicksAreRemembered) {
    AppUnderTest app({{"DefaultVideo", "0"}, {"DefaultDevice", "0"}, {"DefaultAudio", "0"}, {"DefaultClass", "1"}});
    ASSERT_TRUE(app.Start());
    TFormatChoice* c = app.form->Step2()->FormatChoice();
    int total = 0;
    for (const auto& f : AllFormats()) total += c->PresetList(f.Id.Class, f.Id.Code)->count();
    EXPECT_EQ(total, PresetTotal);
    EXPECT_EQ(c->PresetList(fcDevice, dfMobilePhone)->maxVisibleItems(), 10);

    app.form->ShowOutputSettings();
    EXPECT_EQ(c->PageControl()->currentIndex(), fcDevice);
    EXPECT_FALSE(c->ClassButton(fcDevice)->isEnabled());
    EXPECT_TRUE(c->ClassButton(fcVideo)->isEnabled());
    EXPECT_EQ(c->FrontPresetList(fcVideo)->currentText().toStdString(),
              "Video: MPEG4 (DivX, XviD), 1500 kbps, Original; Audio: MP3, 192 kbps");
    EXPECT_EQ(c->FrontPresetList(fcDevice)->currentText().toStdString(),
              "iPod Classic Standard Quality (H264, 24 fps, 320x240, 1000 kbps; AAC - 128 kbps)");
    EXPECT_EQ(c->FrontPresetList(fcAudio)->currentText().toStdString(), "HiFi Quality - PCM: 48000Hz, Stereo, 32 bits");
    EXPECT_FALSE(c->FormatButton(fcAudio, afWAV)->isEnabled());
    EXPECT_TRUE(c->FormatButton(fcAudio, afMP3)->isEnabled());

    // Clicks write class and format at once; switching back restores the choice.
    c->ClassButton(fcAudio)->click();
    EXPECT_EQ(app.settings().OutputFormatClass, fcAudio);
    c->FormatButton(fcAudio, afMP3)->click();
    EXPECT_EQ(app.settings().OutputAudioFormat, afMP3);
    EXPECT_FALSE(c->FormatButton(fcAudio, afMP3)->isEnabled());
    EXPECT_TRUE(c->FormatButton(fcAudio, afWAV)->isEnabled());
    EXPECT_FALSE(c->FormatButton(fcVideo, vfAVI)->isEnabled());  // other classes untouched
    c->FrontPresetList(fcAudio)->setCurrentIndex(0);
    c->ClassButton(fcVideo)->click();
    EXPECT_EQ(c->PageControl()->currentIndex(), fcVideo);
    c->ClassButton(fcAudio)->click();
    EXPECT_EQ(c->FrontPresetList(fcAudio), c->PresetList(fcAudio, afMP3));
    EXPECT_EQ(c->FrontPresetList(fcAudio)->currentText().toStdString(),
              "For Mobile - MP3: 44100 Hz, Stereo, 112 kbps");

    // Leaving with Next stores every list's index; a list without one stores -1.
    c->PresetList(fcVideo, vfWMV)->setCurrentIndex(-1);
    app.form->StoreOutputSettings(true);
    EXPECT_EQ(app.settings().PresetOf(fcAudio, afMP3), 0);
    EXPECT_EQ(app.settings().PresetOf(fcVideo, vfWMV), -1);
    EXPECT_EQ(app.settings().PresetOf(fcVideo, vfAVI), 3);
}

TEST(FormatChoice, StoredValuesOutsideTheCatalogue) {
    AppUnderTest app;
    ASSERT_TRUE(app.Start());
    TFormatChoice* c = app.form->Step2()->FormatChoice();
    app.form->ShowOutputSettings();
    c->ClassButton(fcDevice)->click();
    app.settings().OutputFormatClass = 5;
    app.settings().OutputAudioFormat = 8;
    app.settings().PresetOf(fcVideo, vfFLV) = 99;
    app.settings().PresetOf(fcVideo, vfAVI) = -7;
    QComboBox* audioFront = c->FrontPresetList(fcAudio);
    app.form->ShowOutputSettings();
    for (int cls = 0; cls < 3; ++cls) EXPECT_TRUE(c->ClassButton(cls)->isEnabled());
    EXPECT_EQ(c->PageControl()->currentIndex(), fcDevice);  // stays on the page it showed
    for (int code = 0; code < FormatsInClass(fcAudio); ++code)
        EXPECT_TRUE(c->FormatButton(fcAudio, code)->isEnabled());
    EXPECT_EQ(c->FrontPresetList(fcAudio), audioFront);
    EXPECT_EQ(c->PresetList(fcVideo, vfFLV)->currentIndex(), -1);
    app.form->StoreOutputSettings(true);
    EXPECT_EQ(app.settings().PresetOf(fcVideo, vfFLV), -1);
    EXPECT_EQ(app.settings().PresetOf(fcVideo, vfAVI), -1);
    EXPECT_EQ(app.settings().OutputFormatClass, 5);  // codes are written only by clicks
}

}  // namespace
