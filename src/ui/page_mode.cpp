#include "page_mode.h"

#include "page_helpers.h"

#include <QEvent>
#include <QMouseEvent>
#include <QRadioButton>

TPageMode::TPageMode(QWidget* parent) : QWidget(parent) {
    radioDownload_ = Place(new QRadioButton("Download video from YouTube", this), "RadioButtonDownload",
                           QRect(16, 12, 500, 22));
    imageDownload_ = Place(new QLabel(this), "ImageDownloadVideo", QRect(38, 38, 250, 150));
    radioConvert_ = Place(new QRadioButton("Convert audio/video (previously downloaded) from file", this),
                          "RadioButtonConvert", QRect(16, 214, 500, 22));
    imageConvert_ = Place(new QLabel(this), "ImageConvertVideo", QRect(38, 240, 250, 150));
    auto describe = [this](const char* text, int y) {
        auto* l = AddLabel(this, nullptr, text, QRect(306, y, 225, 90));
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setStyleSheet("color: #4a5a70;");
    };
    describe("Paste the links of the videos you want, choose where they go and which quality you prefer, "
             "and download them one after another.", 60);
    describe("Add audio and video files, put them in order, pick one of 27 output formats and join them "
             "into one file.", 262);
    radioDownload_->setChecked(true);
    imageDownload_->setAccessibleName("Download video");
    imageDownload_->setAccessibleDescription("Picture: selects downloading videos by their links");
    imageConvert_->setAccessibleName("Convert files");
    imageConvert_->setAccessibleDescription("Picture: selects joining or converting files");
    for (QLabel* image : {imageDownload_, imageConvert_}) {
        image->setCursor(Qt::PointingHandCursor);
        image->installEventFilter(this);
    }
}

void TPageMode::SetPictures(const QPixmap& download, const QPixmap& convert) {
    imageDownload_->setPixmap(download);
    imageConvert_->setPixmap(convert);
}

bool TPageMode::DownloadSelected() const { return radioDownload_->isChecked(); }

void TPageMode::ImageDownloadVideoClick() {
    radioDownload_->setChecked(true);
    radioDownload_->setFocus();
}

void TPageMode::ImageConvertVideoClick() {
    radioConvert_->setChecked(true);
    radioConvert_->setFocus();
}

bool TPageMode::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == imageDownload_) ImageDownloadVideoClick();
        if (watched == imageConvert_) ImageConvertVideoClick();
    }
    return QWidget::eventFilter(watched, event);
}
