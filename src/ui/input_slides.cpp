#include "input_slides.h"

#include "input_list_model.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

QImage AudioIcon() {
    static const QImage icon = [] {
        QImage image(ThumbnailWidth * 2, ThumbnailHeight * 2, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(2, 2);
        QLinearGradient plate(0, 0, 0, ThumbnailHeight);
        plate.setColorAt(0, QColor(0x5b, 0x7f, 0xb5));
        plate.setColorAt(1, QColor(0x2c, 0x45, 0x70));
        p.setPen(Qt::NoPen);
        p.setBrush(plate);
        p.drawRoundedRect(QRectF(4, 2, ThumbnailWidth - 8, ThumbnailHeight - 4), 8, 8);
        // Two beamed notes.
        p.setBrush(QColor(0xf4, 0xf6, 0xfa));
        QPainterPath notes;
        notes.addEllipse(QRectF(42, 56, 16, 11));
        notes.addEllipse(QRectF(72, 50, 16, 11));
        notes.addRect(QRectF(54, 22, 4, 40));
        notes.addRect(QRectF(84, 16, 4, 40));
        QPainterPath beam;
        beam.moveTo(54, 22);
        beam.lineTo(88, 16);
        beam.lineTo(88, 25);
        beam.lineTo(54, 31);
        beam.closeSubpath();
        p.drawPath(notes.united(beam));
        return image;
    }();
    return icon;
}

QImage ThumbnailFromPicture(const QImage& picture) {
    if (picture.isNull()) return {};
    const QSize box(ThumbnailWidth * 2, ThumbnailHeight * 2);
    if (picture.width() <= box.width() && picture.height() <= box.height()) return picture;
    return picture.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QSize TInputSlideDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), SlideRowHeight};
}

void TInputSlideDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& pal = option.palette;
    painter->save();
    painter->fillRect(r, selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
    painter->setPen(pal.color(QPalette::Midlight));
    painter->drawLine(r.bottomLeft(), r.bottomRight());

    // The thumbnail, scaled into its area with its aspect kept and centred.
    const QRect area(r.x() + 1, r.y() + 1, ThumbnailWidth, ThumbnailHeight);
    const QImage picture = index.data(Qt::DecorationRole).value<QImage>();
    if (picture.isNull()) {
        painter->fillRect(area.adjusted(4, 2, -4, -2), pal.color(QPalette::Window));
        painter->setPen(pal.color(QPalette::Mid));
        painter->drawRect(area.adjusted(4, 2, -5, -3));
    } else {
        QSizeF size = picture.size();
        size.scale(area.size(), Qt::KeepAspectRatio);
        const QRectF target(area.x() + (area.width() - size.width()) / 2,
                            area.y() + (area.height() - size.height()) / 2, size.width(), size.height());
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(target, picture);
    }

    auto text = [&](int column) { return index.sibling(index.row(), column).data().toString(); };
    painter->setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
    QFont bold = option.font;
    bold.setBold(true);
    painter->setFont(bold);
    const int left = r.x() + 136;
    const int width = std::min(280, r.right() - left);
    // A line wider than the slide ends in an ellipsis rather than being cut.
    auto line = [&](int top, int height, int column) {
        const QString shown = painter->fontMetrics().elidedText(text(column), Qt::ElideRight, width);
        painter->drawText(QRect(left, r.y() + top, width, height), Qt::AlignLeft | Qt::AlignVCenter, shown);
    };
    // A file the last run failed on says why under its name.
    const QString problem = index.sibling(index.row(), icMainImage).data(ProblemRole).toString();
    line(0, problem.isEmpty() ? 30 : 18, icFileMinName);
    painter->setFont(option.font);
    if (!problem.isEmpty()) {
        painter->save();
        painter->setPen(selected ? pal.color(QPalette::HighlightedText) : QColor(0xb0, 0, 0));
        const QString shown = painter->fontMetrics().elidedText(problem, Qt::ElideRight, width);
        painter->drawText(QRect(left, r.y() + 16, width, 16), Qt::AlignLeft | Qt::AlignVCenter, shown);
        painter->restore();
    }
    // A file with several tracks gets a fourth, closer-set line.
    if (text(icTracks).isEmpty()) {
        line(33, 16, icDuration);
        line(49, 16, icBitrate);
        line(65, 16, icDimension);
    } else {
        line(32, 14, icDuration);
        line(46, 14, icBitrate);
        line(60, 14, icDimension);
        line(74, 14, icTracks);
    }
    painter->restore();
}
