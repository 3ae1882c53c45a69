#include "page_step2.h"

#include "format_choice.h"
#include "image_buttons.h"
#include "job_builder.h"
#include "page_helpers.h"

#include <QCheckBox>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

TPageStep2::TPageStep2(TUserSettings& settings, QWidget* parent) : QWidget(parent) {
    QLabel* dirLabel = AddLabel(this, "LabelOutputDir", "Output &directory:", QRect(18, 10, 300, 18), true);
    editOutputDir_ = Place(new QLineEdit(this), "EditOutputDir", QRect(18, 31, 414, 26));
    dirLabel->setBuddy(editOutputDir_);
    buttonSelectDir_ = Place(new QPushButton("&Select...", this), "ButtonSelectDir", QRect(440, 30, 87, 28));
    buttonSelectDir_->setAccessibleDescription("Choose the output folder in a folder dialog");

    radioJoin_ = Place(new QRadioButton("Join into &one file", this), "RadioButtonJoin", QRect(18, 66, 150, 22));
    radioConvert_ =
        Place(new QRadioButton("Convert each &file", this), "RadioButtonConvertEach", QRect(170, 66, 145, 22));
    auto* modes = new QButtonGroup(this);
    modes->addButton(radioJoin_);
    modes->addButton(radioConvert_);
    QLabel* nameLabel = AddLabel(this, "LabelOutputName", "Output &name:", QRect(318, 68, 84, 18));
    editOutputName_ = Place(new QLineEdit(JoinOutputName, this), "EditOutputName", QRect(402, 65, 125, 25));
    editOutputName_->setAccessibleDescription("The joined file's name; the format's extension is added");
    nameLabel->setBuddy(editOutputName_);
    connect(radioJoin_, &QRadioButton::toggled, this, [this](bool on) {
        editOutputName_->setEnabled(on);
        emit JoinModeChanged(on);
    });

    checkBoxVerify_ = Place(new QCheckBox("&Verify the joined file: decode it whole before keeping it", this),
                            "CheckBoxVerify", QRect(18, 372, 500, 22));
    checkBoxVerify_->setChecked(settings.VerifyOutput);
    checkBoxVerify_->setAccessibleDescription("After a join, the output is decoded whole; a fault fails the run");
    connect(checkBoxVerify_, &QCheckBox::toggled, this, [&settings](bool on) { settings.VerifyOutput = on; });
    connect(radioJoin_, &QRadioButton::toggled, checkBoxVerify_, &QWidget::setEnabled);

    AddLabel(this, "LabelConvertTo", "Convert to:", QRect(18, 104, 300, 18), true);
    formatChoice_ = new TFormatChoice(this, settings);
    SetTabOrder();
}

void TPageStep2::ShowJoinMode(bool join) {
    (join ? radioJoin_ : radioConvert_)->setChecked(true);
    editOutputName_->setEnabled(join);
}

bool TPageStep2::JoinSelected() const { return radioJoin_->isChecked(); }

void TPageStep2::SetTabOrder() {
    std::vector<QWidget*> order = {editOutputDir_, buttonSelectDir_, radioJoin_, radioConvert_, editOutputName_};
    for (int cls = 0; cls < FormatClassCount; ++cls) order.push_back(formatChoice_->ClassButton(cls));
    for (int cls = 0; cls < FormatClassCount; ++cls) {
        for (int code = 0; code < FormatsInClass(cls); ++code) order.push_back(formatChoice_->FormatButton(cls, code));
        for (int code = 0; code < FormatsInClass(cls); ++code) order.push_back(formatChoice_->PresetList(cls, code));
    }
    for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}
