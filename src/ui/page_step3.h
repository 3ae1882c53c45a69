#pragma once
// Step3: the conversion in progress. The run monitor fills the list, the
// labels and the bar; the completion check boxes belong to the window.
#include <QWidget>

class QCheckBox;
class QLabel;
class QProgressBar;
class QTreeWidget;

class TPageStep3 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep3(QWidget* parent = nullptr);

    QTreeWidget* ListViewConverting;
    QLabel *LabelCurrentFileTitle, *LabelCurrentFile, *LabelEstimated, *LabelElapsed, *LabelTimeLeft, *LabelProgress;
    QLabel* LabelEstimatedSize;
    QProgressBar* ProgressBar;
    QCheckBox* CheckBoxPreview;
    QCheckBox* CheckBoxPlayASound;
    QCheckBox* CheckBoxShutdown;
};
