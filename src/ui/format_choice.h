#pragma once
// The format choice of Step2: three class buttons, a page per class with its
// format buttons, and one preset list per format. The controls and the
// remembered choice meet at three moments: a button click (class and format
// codes at once), entering Step2 (ShowSettings) and leaving it with Next
// (StoreSettings: the preset indices).
#include "layout.h"
#include "user_settings.h"

#include <QWidget>

#include <array>

class QComboBox;
class QLabel;
class QStackedWidget;
class TPictureButton;

class TFormatChoice : public QObject {
    Q_OBJECT
public:
    // Creates the controls on the Step2 page; the settings receive the clicks.
    TFormatChoice(QWidget* step2Page, TUserSettings& settings);

    // Shows and places the class and format buttons the configuration offers.
    void ApplyLayout(const TFormatLayout& layout);
    // Width of a format page, the W of the button layout.
    int FormatPageWidth() const;

    // Appends every caption of the catalogue to its format's list (once).
    void FillPresetLists();

    // ButtonToFormat<Class>Click: the class's button disabled, the others
    // enabled, its page in front, OutputFormatClass set.
    void ClassButtonClick(int formatClass);
    // ButtonFormat<FMT>Click: the button disabled, the other buttons of its
    // class enabled, its preset list in front, the class's format code set.
    void FormatButtonClick(int formatClass, int code);

    // Entering Step2: class, the format of each class, every stored preset.
    void ShowSettings();
    // Leaving Step2 with Next: each list's selected index (-1 without one).
    void StoreSettings();

    TPictureButton* ClassButton(int formatClass) const { return classButtons_[formatClass]; }
    TPictureButton* FormatButton(int formatClass, int code) const { return formatButtons_[formatClass][code]; }
    QComboBox* PresetList(int formatClass, int code) const { return presetLists_[formatClass][code]; }
    QStackedWidget* PageControl() const { return pageControl_; }
    // The list in front on a class page (the one the user sees).
    QComboBox* FrontPresetList(int formatClass) const;

private:
    TUserSettings& settings_;
    QStackedWidget* pageControl_;
    std::array<TPictureButton*, FormatClassCount> classButtons_{};
    std::array<std::array<TPictureButton*, MaxFormatsPerClass>, FormatClassCount> formatButtons_{};
    std::array<std::array<QComboBox*, MaxFormatsPerClass>, FormatClassCount> presetLists_{};
    std::array<QStackedWidget*, FormatClassCount> presetStacks_{};
    bool filled_ = false;
};
