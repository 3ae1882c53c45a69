#include "convert_list.h"

#include <algorithm>

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

std::optional<bool> TJobInput::HasSound() const {
    if (!Described) return std::nullopt;
    for (const TStreamDesc& s : Described->Streams)
        if (s.Kind == skAudio) return true;
    return false;
}

int64_t TJobInput::Length() const {
    const int64_t start = std::max<int64_t>(TrimStartUs, 0);
    int64_t end = Duration > 0 ? Duration : INT64_MAX;
    if (TrimEndUs >= 0) end = std::min(end, TrimEndUs);
    if (end == INT64_MAX) return Duration;
    return std::max<int64_t>(end - start, 0);
}
