#pragma once
// The rules of the input list's buttons: when each is enabled and which row
// is selected after a delete or a move. A selected index of -1 means none.

struct TInputActionStates {
    bool Delete = false, Clear = false, MoveUp = false, MoveDown = false, Play = false;
};

TInputActionStates InputActionStates(int rowCount, int selected);

// The row selected after the selected row was deleted from a list that had
// rowCount rows: the row now at its place, or the new last row; -1 when the
// list became empty or nothing was selected.
int SelectionAfterDelete(int rowCount, int deleted);

// The target of Move Up / Move Down, or -1 when the row cannot move.
int MoveUpTarget(int rowCount, int selected);
int MoveDownTarget(int rowCount, int selected);
