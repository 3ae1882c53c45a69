#pragma once
// Step2: the output folder and the format choice.
#include "user_settings.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class TFormatChoice;

class TPageStep2 : public QWidget {
    Q_OBJECT
public:
    TPageStep2(TUserSettings& settings, QWidget* parent = nullptr);
    QLineEdit* EditOutputDir() const { return editOutputDir_; }
    QPushButton* ButtonSelectDir() const { return buttonSelectDir_; }
    TFormatChoice* FormatChoice() const { return formatChoice_; }
    // Joins: decode the output whole before keeping it (the setting VerifyOutput).
    QCheckBox* CheckBoxVerify() const { return checkBoxVerify_; }

private:
    QLineEdit* editOutputDir_;
    QPushButton* buttonSelectDir_;
    TFormatChoice* formatChoice_;
    QCheckBox* checkBoxVerify_;
};
