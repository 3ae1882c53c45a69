#pragma once
// The input grid drawn as slides: one 90-pixel row per file with its
// thumbnail on the left and the name and three description lines beside it.
#include <QImage>
#include <QStyledItemDelegate>

// The input list's columns (input_list_model.h): the thumbnail, the four
// texts of the slide, the full name.
enum TInputColumn : int {
    icMainImage = 0,
    icFileMinName,
    icDuration,
    icBitrate,
    icDimension,
    icFileFullName,
    icTracks,  // empty for one sound track without subtitles
    InputColumnCount
};

inline constexpr int SlideRowHeight = 90;
inline constexpr int ThumbnailWidth = 128;
inline constexpr int ThumbnailHeight = 88;
// The name is shortened to this width in the bold font.
inline constexpr int SlideNameWidth = 255;

// The picture shown for files without video.
QImage AudioIcon();
// A thumbnail kept at twice the slide's area, so sharp screens stay sharp.
QImage ThumbnailFromPicture(const QImage& picture);

class TInputSlideDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
