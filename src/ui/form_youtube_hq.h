#pragma once
// The quality preference dialog: the eight qualities in the order they are
// tried, moved with Up and Down or set to one of two fixed orders.
#include "quality.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

class TFormYouTubeHQ : public QDialog {
    Q_OBJECT
public:
    explicit TFormYouTubeHQ(QWidget* parent = nullptr);

    // One row per order slot, top row = slot 1.
    void FillList(const TQualityOrder& order);
    // The order the rows show now (by their captions).
    TQualityOrder TakeOrder() const;

    void ButtonUpClick();
    void ButtonDownClick();
    // Both change only the list: Cancel leaves the preference as it was.
    void ButtonBestAvailableClick();
    void ButtonDefaultClick();

    QTreeWidget* ListViewYouTubeHQ;
    QPushButton *ButtonUp, *ButtonDown, *ButtonBestAvailable, *ButtonDefault, *ButtonOK, *ButtonCancel;

private:
    void MoveSelected(int delta);
};

// Opens the dialog centred over the owner with the given order; on OK the
// order takes the list's and true is returned.
bool EditQualityOrder(QWidget* owner, TQualityOrder& order);
