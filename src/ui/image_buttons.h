#pragma once
// The skinned buttons: window and bottom buttons drawn from their state
// images, and the picture buttons of the format choice.
#include <QAbstractButton>
#include <QPixmap>

class QPainter;

#include <array>

// The keyboard focus of a skinned button: a dashed ring inside its edge.
void DrawFocusRing(QPainter& p, const QWidget& w, const QColor& color);

// A button that knows whether the mouse is over it.
class THoverButton : public QAbstractButton {
    Q_OBJECT
public:
    using QAbstractButton::QAbstractButton;

protected:
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    bool hover_ = false;
};

// A button drawn from up to four images (normal, mouse over, pressed,
// disabled) with an optional caption on top; it takes the size of its images.
// Transparent buttons draw no image: only the caption and a light highlight.
class TImageButton : public THoverButton {
    Q_OBJECT
public:
    explicit TImageButton(QWidget* parent = nullptr);
    // Missing states fall back to the normal image.
    void SetImages(const std::array<QPixmap, 4>& images);
    void SetTransparent(bool transparent, const QColor& captionColor);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::array<QPixmap, 4> images_;
    bool transparent_ = false;
    QColor captionColor_;
};

// A class or format button: its picture, a highlight under the mouse, and the
// "selected" picture while disabled (the disabled button marks the choice).
class TPictureButton : public THoverButton {
    Q_OBJECT
public:
    TPictureButton(const QPixmap& normal, const QPixmap& selected, QWidget* parent = nullptr);
    QSize sizeHint() const override { return normal_.deviceIndependentSize().toSize(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QPixmap normal_, selected_;
};
