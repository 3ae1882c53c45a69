#include "page_step2.h"

#include "format_choice.h"
#include "page_helpers.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

TPageStep2::TPageStep2(TUserSettings& settings, QWidget* parent) : QWidget(parent) {
    AddLabel(this, "LabelOutputDir", "Output directory:", QRect(18, 16, 300, 18), true);
    editOutputDir_ = Place(new QLineEdit(this), "EditOutputDir", QRect(18, 38, 414, 26));
    buttonSelectDir_ = Place(new QPushButton("Select...", this), "ButtonSelectDir", QRect(440, 37, 87, 28));
    checkBoxVerify_ = Place(new QCheckBox("&Verify the joined file: decode it whole before keeping it", this),
                            "CheckBoxVerify", QRect(18, 70, 414, 22));
    checkBoxVerify_->setChecked(settings.VerifyOutput);
    connect(checkBoxVerify_, &QCheckBox::toggled, this, [&settings](bool on) { settings.VerifyOutput = on; });
    AddLabel(this, "LabelConvertTo", "Convert to:", QRect(18, 104, 300, 18), true);
    formatChoice_ = new TFormatChoice(this, settings);
}
