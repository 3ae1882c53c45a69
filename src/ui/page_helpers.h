#pragma once
// Small helpers for the fixed-position pages of the wizard.
#include <QLabel>
#include <QProgressBar>
#include <QRect>
#include <QString>
#include <QWidget>

// The size of every wizard page.
inline constexpr int PageWidth = 545;
inline constexpr int PageHeight = 425;

// Names the widget (tests and later code find controls by these names) and
// places it.
template <class T>
T* Place(T* widget, const char* objectName, const QRect& geometry) {
    if (objectName && *objectName) widget->setObjectName(objectName);
    widget->setGeometry(geometry);
    return widget;
}

inline QLabel* AddLabel(QWidget* parent, const char* objectName, const QString& text, const QRect& geometry,
                        bool bold = false) {
    auto* label = Place(new QLabel(text, parent), objectName, geometry);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    return label;
}

// A label that looks and acts like a link.
inline QLabel* AddLinkLabel(QWidget* parent, const char* objectName, const QString& text, const QRect& geometry) {
    auto* label = AddLabel(parent, objectName, QStringLiteral("<a href=\"#\">%1</a>").arg(text.toHtmlEscaped()),
                           geometry);
    label->setTextFormat(Qt::RichText);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

// A 0..100 bar without text; a label beside it shows the percentage.
inline QProgressBar* AddProgressBar(QWidget* parent, const char* objectName, const QRect& geometry) {
    auto* bar = Place(new QProgressBar(parent), objectName, geometry);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}
