#pragma once
// The about window: product name and version, the web and support links, and
// the update tab.
#include <QDialog>

class IDesktopServices;
struct TProductConfig;
class QLabel;
class QTabWidget;
class QPushButton;

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    TFormAbout(const TProductConfig& config, const QPixmap& leftLogo, IDesktopServices& services,
               QWidget* parent = nullptr);
    QTabWidget* Tabs() const { return tabs_; }
    QLabel* Picture() const { return picture_; }
    QPushButton* ButtonOK() const { return ok_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTabWidget* tabs_;
    QLabel* picture_;
    QPushButton* ok_;
    IDesktopServices& services_;
    std::string updatesLink_;
};
