#pragma once
// Step2: the output folder, joining or converting each file, the join's
// output name, and the format choice.
#include "user_settings.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
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
    QRadioButton* RadioJoin() const { return radioJoin_; }
    QRadioButton* RadioConvert() const { return radioConvert_; }
    // The join's output name without its extension; only joining uses it.
    QLineEdit* EditOutputName() const { return editOutputName_; }

    // The mode shown: join or convert each file.
    void ShowJoinMode(bool join);
    bool JoinSelected() const;

signals:
    // The user picked the other mode.
    void JoinModeChanged(bool join);

private:
    // Tab follows the page from top to bottom.
    void SetTabOrder();

    QLineEdit* editOutputDir_;
    QPushButton* buttonSelectDir_;
    QRadioButton* radioJoin_;
    QRadioButton* radioConvert_;
    QLineEdit* editOutputName_;
    TFormatChoice* formatChoice_;
    QCheckBox* checkBoxVerify_;
};
