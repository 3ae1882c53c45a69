#pragma once
// Step1's rows as a typed list: one slide per file with what the probe found
// (TInputRow), the name as the slide shows it and the thumbnail. The grid
// draws the slides from the model's columns (TInputColumn); the job builder
// reads the rows themselves (JobInputs), never texts.
#include "convert_list.h"
#include "input_row.h"
#include "input_slides.h"

#include <QAbstractTableModel>
#include <QImage>
#include <QString>

#include <vector>

struct TInputSlide {
    TInputRow Row;
    QString MinName;   // the full name shortened to the slide's width
    QImage Thumbnail;  // null: an empty picture
    QString Problem;   // why the last run failed on the file; empty when it did not
};

// The data role of icMainImage that holds a row's problem.
inline constexpr int ProblemRole = Qt::UserRole + 1;

class TInputListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // The texts (display role), the thumbnail (decoration role of
    // icMainImage) and the full name as its tool tip.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    int Count() const { return static_cast<int>(slides_.size()); }
    const TInputRow& Row(int row) const { return slides_.at(static_cast<size_t>(row)).Row; }
    // Every row in order, as the job builder takes it.
    std::vector<TJobInput> JobInputs() const;

    void Append(TInputSlide slide);
    // Rows outside the list are ignored.
    void Remove(int row);
    // Moves a row so that it ends at index to.
    void Move(int from, int to);
    void Clear();
    // Trims a row (-1: its start or its end); rows outside the list are ignored.
    void SetTrim(int row, int64_t startUs, int64_t endUs);
    // Marks a row with why the last run failed on it; an empty text unmarks.
    void SetProblem(int row, const QString& problem);
    void ClearProblems();

private:
    std::vector<TInputSlide> slides_;
};
