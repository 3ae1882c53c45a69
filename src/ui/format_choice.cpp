#include "format_choice.h"

#include "catalogue.h"
#include "image_buttons.h"
#include "page_helpers.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QStackedWidget>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

namespace {
constexpr int kFormatPagesLeft = 8;
constexpr int kFormatPageWidth = 529;
constexpr int kFormatPageHeight = 245;

QPixmap Picture(const QString& name) { return QPixmap(":/window/" + name + ".png"); }

// A preset list whose box ends a caption too long for it with "…" instead of
// cutting it off mid-word; the tool tip holds the whole caption.
class TElidingComboBox final : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideRight, field.width() - 4);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

const char* const kClassPicture[] = {"class_video", "class_device", "class_audio"};
const char* const kClassButtonName[] = {"ButtonToFormatVideo", "ButtonToFormatDevice", "ButtonToFormatAudio"};
const char* const kClassSheetName[] = {"TabSheetToFormatVideo", "TabSheetToFormatDevice", "TabSheetToFormatAudio"};
}  // namespace

TFormatChoice::TFormatChoice(QWidget* step2Page, TUserSettings& settings)
    : QObject(step2Page), settings_(settings) {
    pageControl_ = Place(new QStackedWidget(step2Page), "RzPageControlToFormat",
                         QRect(kFormatPagesLeft, FormatPagesTopWithClassButtons, kFormatPageWidth, kFormatPageHeight));
    for (int cls = 0; cls < FormatClassCount; ++cls) {
        auto* button = new TPictureButton(Picture(kClassPicture[cls]), Picture(QString(kClassPicture[cls]) + "_sel"),
                                          step2Page);
        button->setObjectName(kClassButtonName[cls]);
        const QString className = QString::fromUtf8(FormatClassName(cls).data(), FormatClassName(cls).size());
        button->setToolTip(className);
        button->setAccessibleName(className + " formats");
        button->setAccessibleDescription("Shows the " + className.toLower() + " formats");
        connect(button, &QAbstractButton::clicked, this, [this, cls] { ClassButtonClick(cls); });
        classButtons_[cls] = button;

        auto* sheet = new QWidget;
        sheet->setObjectName(kClassSheetName[cls]);
        pageControl_->addWidget(sheet);
        AddLabel(sheet, nullptr, "Presets:", QRect(10, 128, 200, 18));
        presetStacks_[cls] = Place(new QStackedWidget(sheet), nullptr, QRect(10, 148, kFormatPageWidth - 20, 26));
    }
    for (const auto& f : Catalogue()) {
        const int cls = f.Format->Id.Class, code = f.Format->Id.Code;
        const QString name = QString::fromUtf8(f.Format->Name.data(), f.Format->Name.size());
        QWidget* sheet = pageControl_->widget(cls);
        auto* button = new TPictureButton(Picture("format_" + name), Picture("format_" + name + "_sel"), sheet);
        button->setObjectName("ButtonFormat" + name);
        button->setToolTip(name);
        button->setAccessibleName(name);
        button->setAccessibleDescription("Makes " + name + " the output format");
        connect(button, &QAbstractButton::clicked, this, [this, cls, code] { FormatButtonClick(cls, code); });
        formatButtons_[cls][code] = button;

        auto* list = new TElidingComboBox;
        list->setObjectName(QString::fromUtf8(f.PresetListName.data(), f.PresetListName.size()));
        list->setAccessibleName(name + " presets");
        list->setMaxVisibleItems(10);
        // Without this the style's own popup shows every item at once.
        list->setStyleSheet("combobox-popup: 0;");
        presetStacks_[cls]->addWidget(list);
        presetLists_[cls][code] = list;
    }
}

int TFormatChoice::FormatPageWidth() const { return pageControl_->width(); }

void TFormatChoice::ApplyLayout(const TFormatLayout& layout) {
    for (int cls = 0; cls < FormatClassCount; ++cls) {
        for (int code = 0; code < FormatsInClass(cls); ++code) {
            TPictureButton* b = formatButtons_[cls][code];
            b->setVisible(layout.ButtonVisible[cls][code]);
            if (layout.ButtonVisible[cls][code])
                b->move(layout.ButtonPos[cls][code].X, layout.ButtonPos[cls][code].Y);
        }
        classButtons_[cls]->setVisible(layout.ClassVisible[cls]);
        if (layout.ClassVisible[cls]) classButtons_[cls]->move(layout.ClassPos[cls].X, layout.ClassPos[cls].Y);
    }
    pageControl_->move(kFormatPagesLeft, layout.FormatPagesTop);
}

void TFormatChoice::FillPresetLists() {
    if (filled_) return;
    filled_ = true;
    for (const auto& f : Catalogue()) {
        QComboBox* list = presetLists_[f.Format->Id.Class][f.Format->Id.Code];
        int widest = 0;
        for (std::string_view caption : f.Presets) {
            const QString text = QString::fromUtf8(caption.data(), caption.size());
            list->addItem(text);
            list->setItemData(list->count() - 1, text, Qt::ToolTipRole);
            widest = std::max(widest, list->fontMetrics().horizontalAdvance(text));
        }
        // The box elides a long caption; its tool tip and the open list show it whole.
        list->view()->setTextElideMode(Qt::ElideNone);
        list->view()->setMinimumWidth(widest + 40);
        connect(list, &QComboBox::currentIndexChanged, list, [list](int index) {
            list->setToolTip(index >= 0 ? list->itemText(index) : QString());
        });
        list->setCurrentIndex(-1);
    }
}

// A code outside the catalogue (only a stored one can be) leaves every button
// enabled and the page or list in front as it was.
void TFormatChoice::ClassButtonClick(int formatClass) {
    for (int cls = 0; cls < FormatClassCount; ++cls) {
        classButtons_[cls]->setEnabled(cls != formatClass);
        // The chosen button cannot be pressed: a screen reader says why.
        const QString name = classButtons_[cls]->toolTip();
        classButtons_[cls]->setAccessibleDescription(cls == formatClass ? "The " + name.toLower() + " formats are shown"
                                                                        : "Shows the " + name.toLower() + " formats");
    }
    if (formatClass >= 0 && formatClass < FormatClassCount) pageControl_->setCurrentIndex(formatClass);
    settings_.OutputFormatClass = static_cast<uint8_t>(formatClass);
}

void TFormatChoice::FormatButtonClick(int formatClass, int code) {
    if (formatClass < 0 || formatClass >= FormatClassCount) return;
    for (int c = 0; c < FormatsInClass(formatClass); ++c) {
        TPictureButton* b = formatButtons_[formatClass][c];
        b->setEnabled(c != code);
        b->setAccessibleDescription(c == code ? b->toolTip() + " is the chosen output format"
                                              : "Makes " + b->toolTip() + " the output format");
    }
    if (code >= 0 && code < FormatsInClass(formatClass))
        presetStacks_[formatClass]->setCurrentWidget(presetLists_[formatClass][code]);
    const auto value = static_cast<uint8_t>(code);
    switch (formatClass) {
        case fcVideo: settings_.OutputVideoFormat = value; break;
        case fcDevice: settings_.OutputDeviceFormat = value; break;
        case fcAudio: settings_.OutputAudioFormat = value; break;
    }
}

void TFormatChoice::ShowSettings() {
    ClassButtonClick(settings_.OutputFormatClass);
    const std::pair<int, uint8_t> perClass[] = {
        {fcAudio, settings_.OutputAudioFormat}, {fcVideo, settings_.OutputVideoFormat}, {fcDevice, settings_.OutputDeviceFormat}};
    for (const auto& [cls, code] : perClass) FormatButtonClick(cls, code);
    for (const auto& f : AllFormats()) {
        QComboBox* list = presetLists_[f.Id.Class][f.Id.Code];
        const int index = settings_.OutputPreset[f.Id.Class][f.Id.Code];
        list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
    }
}

void TFormatChoice::StoreSettings() {
    for (const auto& f : AllFormats())
        settings_.OutputPreset[f.Id.Class][f.Id.Code] = presetLists_[f.Id.Class][f.Id.Code]->currentIndex();
}

QComboBox* TFormatChoice::FrontPresetList(int formatClass) const {
    return qobject_cast<QComboBox*>(presetStacks_[formatClass]->currentWidget());
}
