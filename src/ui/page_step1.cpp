#include "page_step1.h"

#include "page_helpers.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>

TPageStep1::TPageStep1(QWidget* parent) : QWidget(parent) {
    grid_ = Place(new QTableWidget(0, 10, this), "NextGrid", QRect(8, 8, 420, 409));
    grid_->setHorizontalHeaderLabels({"MainImage", "FileMinName", "Duration", "Bitrate", "Dimension", "FileFullName",
                                      "RealDuration", "Width", "Height", "AspectRatio"});
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(90);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int c = 5; c < 10; ++c) grid_->setColumnHidden(c, true);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setColumnWidth(0, 132);

    auto action = [this](const char* name, const char* text, const QKeySequence& key) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        if (!key.isEmpty()) a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        return a;
    };
    ActionAdd = action("ActionAdd", "&Add File(s)...", QKeySequence(Qt::CTRL | Qt::Key_O));
    ActionDelete = action("ActionDelete", "&Delete", QKeySequence(Qt::Key_Delete));
    ActionClear = action("ActionClear", "&Clear", QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    ActionMoveUp = action("ActionMoveUp", "&Move Up", {});
    ActionMoveDown = action("ActionMoveDown", "M&ove Down", {});
    ActionPlay = action("ActionPlay", "&Play", QKeySequence(Qt::CTRL | Qt::Key_P));

    auto button = [this](QAction* a, const char* name, int y) {
        auto* b = Place(new QPushButton(a->text(), this), name, QRect(436, y, 101, 27));
        connect(b, &QPushButton::clicked, a, &QAction::trigger);
        connect(a, &QAction::changed, b, [a, b] { b->setEnabled(a->isEnabled()); });
        return b;
    };
    button(ActionAdd, "ButtonAdd", 8);
    button(ActionDelete, "ButtonDelete", 42);
    button(ActionClear, "ButtonClear", 76);
    button(ActionMoveUp, "ButtonMoveUp", 124);
    button(ActionMoveDown, "ButtonMoveDown", 158);
    button(ActionPlay, "ButtonPlay", 390);

    popup_ = new QMenu(this);
    popup_->setObjectName("PopupMenuInput");
    popup_->addActions({ActionAdd, ActionDelete, ActionClear});
    popup_->addSeparator();
    popup_->addActions({ActionMoveUp, ActionMoveDown});
    popup_->addSeparator();
    popup_->addAction(ActionPlay);
    grid_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popup_->popup(grid_->viewport()->mapToGlobal(pos)); });
}

int TPageStep1::RowCount() const { return grid_->rowCount(); }

void TPageStep1::ClearList() { grid_->setRowCount(0); }
