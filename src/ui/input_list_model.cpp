#include "input_list_model.h"

int TInputListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

int TInputListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : InputColumnCount; }

QVariant TInputListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    const TInputSlide& slide = slides_[static_cast<size_t>(index.row())];
    const TInputRow& r = slide.Row;
    if (index.column() == icMainImage) {
        if (role == Qt::DecorationRole) return slide.Thumbnail;
        if (role == ProblemRole) return slide.Problem;
        if (role == Qt::ToolTipRole)
            return QString::fromStdString(r.FullName) + (slide.Problem.isEmpty() ? QString() : "\n" + slide.Problem);
        return {};
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case icFileMinName: return slide.MinName;
        case icDuration: return QString::fromStdString(r.ShownDurationLine());
        case icBitrate: return QString::fromStdString(r.BitrateLine);
        case icDimension: return QString::fromStdString(r.DimensionLine);
        case icFileFullName: return QString::fromStdString(r.FullName);
        case icTracks: return QString::fromStdString(r.TracksLine);
        default: return {};
    }
}

std::vector<TJobInput> TInputListModel::JobInputs() const {
    std::vector<TJobInput> inputs;
    inputs.reserve(slides_.size());
    for (const TInputSlide& slide : slides_) inputs.push_back(slide.Row.JobInput());
    return inputs;
}

void TInputListModel::Append(TInputSlide slide) {
    const int row = Count();
    beginInsertRows({}, row, row);
    slides_.push_back(std::move(slide));
    endInsertRows();
}

void TInputListModel::Remove(int row) {
    if (row < 0 || row >= Count()) return;
    beginRemoveRows({}, row, row);
    slides_.erase(slides_.begin() + row);
    endRemoveRows();
}

void TInputListModel::Move(int from, int to) {
    const int count = Count();
    if (from < 0 || from >= count || to < 0 || to >= count || from == to) return;
    // Qt names the row the moved one goes before, counted before the move.
    if (!beginMoveRows({}, from, from, {}, to > from ? to + 1 : to)) return;
    TInputSlide moved = std::move(slides_[static_cast<size_t>(from)]);
    slides_.erase(slides_.begin() + from);
    slides_.insert(slides_.begin() + to, std::move(moved));
    endMoveRows();
}

void TInputListModel::Clear() {
    if (slides_.empty()) return;
    beginResetModel();
    slides_.clear();
    endResetModel();
}

void TInputListModel::SetTrim(int row, int64_t startUs, int64_t endUs) {
    if (row < 0 || row >= Count()) return;
    TInputRow& r = slides_[static_cast<size_t>(row)].Row;
    r.TrimStartUs = startUs;
    r.TrimEndUs = endUs;
    emit dataChanged(index(row, 0), index(row, InputColumnCount - 1));
}

void TInputListModel::SetProblem(int row, const QString& problem) {
    if (row < 0 || row >= Count()) return;
    slides_[static_cast<size_t>(row)].Problem = problem;
    emit dataChanged(index(row, 0), index(row, InputColumnCount - 1));
}

void TInputListModel::ClearProblems() {
    for (int row = 0; row < Count(); ++row)
        if (!slides_[static_cast<size_t>(row)].Problem.isEmpty()) SetProblem(row, {});
}
