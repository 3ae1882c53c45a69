#pragma once
// Step1: the input files. The grid, its buttons, context menu and shortcuts;
// adding, probing and ordering the files is the input list's work.
#include <QWidget>

class QAction;
class QMenu;
class QPushButton;
class QTableWidget;

class TPageStep1 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep1(QWidget* parent = nullptr);
    int RowCount() const;
    // Empties the input list (Finish, confirmed Back or Cancel).
    void ClearList();
    QTableWidget* Grid() const { return grid_; }

    QAction *ActionAdd, *ActionDelete, *ActionClear, *ActionMoveUp, *ActionMoveDown, *ActionPlay;

private:
    QTableWidget* grid_;
    QMenu* popup_;
};
