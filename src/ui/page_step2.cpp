#include "page_step2.h"

#include "format_choice.h"
#include "page_helpers.h"

#include <QLineEdit>
#include <QPushButton>

TPageStep2::TPageStep2(TUserSettings& settings, QWidget* parent) : QWidget(parent) {
    AddLabel(this, "LabelOutputDir", "Output directory:", QRect(18, 16, 300, 18), true);
    editOutputDir_ = Place(new QLineEdit(this), "EditOutputDir", QRect(18, 38, 414, 26));
    buttonSelectDir_ = Place(new QPushButton("Select...", this), "ButtonSelectDir", QRect(440, 37, 87, 28));
    AddLabel(this, "LabelConvertTo", "Convert to:", QRect(18, 104, 300, 18), true);
    formatChoice_ = new TFormatChoice(this, settings);
}
