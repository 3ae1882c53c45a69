#pragma once
// Step5: the links to download, their folder and the quality preference.
#include <QWidget>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeWidget;

class TPageStep5 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep5(QWidget* parent = nullptr);
    int LinkCount() const;
    void ClearLinks();

    QTreeWidget* ListViewInputURL;
    QAction *ActionURLPaste, *ActionURLRemove, *ActionURLEmpty;
    // Opens the download settings dialog (yt-dlp).
    QPushButton* ButtonDownloadSettings;
    QLineEdit* EditURLOutput;
    QPushButton* ButtonURLSelect;
    QCheckBox* CheckBoxYouTubeQuality;
    QPushButton* ButtonYouTubeQualityConfig;
    QLabel* LabelYouTubeQuality;

private:
    QMenu* popup_;
};
