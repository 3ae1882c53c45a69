#include "input_selection.h"

namespace {
bool Valid(int rowCount, int index) { return index >= 0 && index < rowCount; }
}  // namespace

TInputActionStates InputActionStates(int rowCount, int selected) {
    TInputActionStates s;
    const bool has = Valid(rowCount, selected);
    s.Delete = s.Play = has;
    s.Clear = rowCount > 0;
    s.MoveUp = has && selected > 0;
    s.MoveDown = has && selected < rowCount - 1;
    return s;
}

int SelectionAfterDelete(int rowCount, int deleted) {
    if (!Valid(rowCount, deleted) || rowCount == 1) return -1;
    return deleted < rowCount - 1 ? deleted : rowCount - 2;
}

int MoveUpTarget(int rowCount, int selected) { return Valid(rowCount, selected) && selected > 0 ? selected - 1 : -1; }

int MoveDownTarget(int rowCount, int selected) {
    return Valid(rowCount, selected) && selected < rowCount - 1 ? selected + 1 : -1;
}
