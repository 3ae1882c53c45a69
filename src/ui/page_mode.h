#pragma once
// The mode page: download videos or convert files.
#include <QPixmap>
#include <QWidget>

class QRadioButton;
class QLabel;

class TPageMode : public QWidget {
    Q_OBJECT
public:
    explicit TPageMode(QWidget* parent = nullptr);
    void SetPictures(const QPixmap& download, const QPixmap& convert);
    bool DownloadSelected() const;
    QRadioButton* RadioDownload() const { return radioDownload_; }
    QRadioButton* RadioConvert() const { return radioConvert_; }

    // Clicking a picture selects its radio button and focuses it.
    void ImageDownloadVideoClick();
    void ImageConvertVideoClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* imageDownload_;
    QLabel* imageConvert_;
    QRadioButton* radioDownload_;
    QRadioButton* radioConvert_;
};
