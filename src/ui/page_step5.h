#pragma once
// Step5: the links to download, their folder and the quality preference.
#include <QLineEdit>
#include <QWidget>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeWidget;

// A field for typing one link: Return with text adds it, and only an empty
// field leaves Return to the page's Next.
class TLinkEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

signals:
    void linkEntered(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class TPageStep5 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep5(QWidget* parent = nullptr);
    int LinkCount() const;
    void ClearLinks();

    QTreeWidget* ListViewInputURL;
    TLinkEdit* EditURLType;
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
