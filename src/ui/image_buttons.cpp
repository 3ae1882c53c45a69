#include "image_buttons.h"

#include <QEnterEvent>
#include <QPainter>

void THoverButton::enterEvent(QEnterEvent* e) {
    hover_ = true;
    update();
    QAbstractButton::enterEvent(e);
}

void THoverButton::leaveEvent(QEvent* e) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(e);
}

TImageButton::TImageButton(QWidget* parent) : THoverButton(parent), captionColor_(0x22, 0x30, 0x3f) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void TImageButton::SetImages(const std::array<QPixmap, 4>& images) {
    images_ = images;
    resize(sizeHint());
    update();
}

void TImageButton::SetTransparent(bool transparent, const QColor& captionColor) {
    transparent_ = transparent;
    captionColor_ = captionColor;
    update();
}

QSize TImageButton::sizeHint() const {
    return images_[0].isNull() ? QSize(90, 30) : images_[0].deviceIndependentSize().toSize();
}

void TImageButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    int state = 0;
    if (!isEnabled()) state = 3;
    else if (isDown()) state = 2;
    else if (hover_) state = 1;
    if (transparent_) {
        if (state == 1 || state == 2) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, state == 1 ? 40 : 70));
            p.drawRoundedRect(rect().adjusted(0, 0, -1, -1), 6, 6);
        }
    } else {
        const QPixmap& img = images_[state].isNull() ? images_[0] : images_[state];
        p.drawPixmap(0, 0, img);
    }
    if (text().isEmpty()) {
        DrawFocusRing(p, *this, QColor(0x1f, 0x5f, 0xbf));
        return;
    }
    QColor color = captionColor_;
    if (!isEnabled()) color = transparent_ ? QColor(255, 255, 255, 110) : QColor(0x9a, 0xa3, 0xb0);
    p.setPen(color);
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    const QRect r = rect().translated(state == 2 ? 1 : 0, state == 2 ? 1 : 0);
    p.drawText(r, Qt::AlignCenter | Qt::TextShowMnemonic, text());
    DrawFocusRing(p, *this, transparent_ ? QColor(Qt::white) : QColor(0x1f, 0x5f, 0xbf));
}

void DrawFocusRing(QPainter& p, const QWidget& w, const QColor& color) {
    if (!w.hasFocus()) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(color, 2, Qt::DashLine));
    p.drawRoundedRect(QRectF(w.rect()).adjusted(2, 2, -2, -2), 5, 5);
    p.restore();
}


TPictureButton::TPictureButton(const QPixmap& normal, const QPixmap& selected, QWidget* parent)
    : THoverButton(parent), normal_(normal), selected_(selected) {
    setCursor(Qt::PointingHandCursor);
    // Reached by Tab; a click does not leave a ring behind.
    setFocusPolicy(Qt::TabFocus);
    resize(sizeHint());
}

void TPictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, isEnabled() ? normal_ : selected_);
    // The chosen button is the disabled one, so focus always sits on another
    // (Qt hands it on when the choice is disabled): its ring is a dashed blue
    // line, unlike the orange frame of a choice under the mouse.
    DrawFocusRing(p, *this, QColor(0x1f, 0x5f, 0xbf));
    if (isEnabled() && (hover_ || isDown())) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0xf0, 0x8a, 0x24), 1.5));
        p.setBrush(QColor(0xf0, 0x8a, 0x24, isDown() ? 50 : 25));
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1.5, -1.5), 6, 6);
    }
}

