#pragma once
// The dialog after an add batch with files the probe could not open: one row
// per error text, "Close" and "More Information..." (the support page).
#include <QDialog>

#include <string>
#include <vector>

class IDesktopServices;
class QPushButton;
class QTreeWidget;

class TFormFailedAddFile : public QDialog {
    Q_OBJECT
public:
    TFormFailedAddFile(const std::vector<std::string>& errors, std::string helpTarget, IDesktopServices& services,
                       QWidget* parent = nullptr);

    void ButtonMoreInfoClick();
    QTreeWidget* ListViewFiles() const { return list_; }
    QPushButton* ButtonClose() const { return close_; }
    QPushButton* ButtonMoreInfo() const { return moreInfo_; }

private:
    std::string supportLink_;
    IDesktopServices& services_;
    QTreeWidget* list_;
    QPushButton* close_;
    QPushButton* moreInfo_;
};
