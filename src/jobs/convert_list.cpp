#include "convert_list.h"

void TConvertList::Clear() {
    rows_.clear();
    if (view_) view_->ClearRows();
}

void TConvertList::Add(TConvertRow row) {
    rows_.push_back(std::move(row));
    if (view_) view_->AddRow(rows_.back());
}

void TConvertList::SetCell(int row, TConvertColumn column, const std::string& text) {
    if (!Has(row) || column < 0 || column >= ConvertColumnCount) return;
    rows_[row].Cells[column] = text;
    if (view_) view_->SetCell(row, column, text);
}

void TConvertList::SetColumnTitles(const std::string& status, const std::string& progress) {
    if (view_) view_->SetColumnTitles(status, progress);
}
