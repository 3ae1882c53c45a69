// Step1's typed input list: the rows the job builder takes, and the model's
// signals as the grid and its selection rely on them when rows are added,
// moved, deleted and cleared.
#include "ui_fixture.h"

#include "input_list_model.h"
#include "page_step1.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTableView>

#include <gtest/gtest.h>

namespace {

TInputSlide Slide(const std::string& name, int64_t duration = 0, int32_t width = -1, int32_t height = -1,
                  float aspect = -1.0f) {
    TInputSlide slide;
    slide.Row.FullName = name;
    slide.Row.DurationLine = "Duration: " + name;
    slide.Row.RealDuration = duration;
    slide.Row.Width = width;
    slide.Row.Height = height;
    slide.Row.AspectRatio = aspect;
    slide.MinName = QString::fromStdString(name);
    return slide;
}

std::vector<std::string> Names(const TInputListModel& model) {
    std::vector<std::string> names;
    for (int r = 0; r < model.rowCount(); ++r)
        names.push_back(model.index(r, icFileFullName).data().toString().toStdString());
    return names;
}

TEST(InputListModel, RowsReachTheJobBuilderWithEveryBitOfTheirValues) {
    EnsureApp();
    TInputListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    // Longer than 2^32 microseconds, and an aspect ratio no short text holds.
    model.Append(Slide("/m/a.avi", 5000000000, 720, 576, 16.0f / 9.0f));
    model.Append(Slide("/m/b.mp3", 0));
    model.SetTrim(0, 1000000, 4500000000);
    model.SetTrim(2, 1, 2);  // no such row
    const std::vector<TJobInput> inputs = model.JobInputs();
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[0].FullName, "/m/a.avi");
    EXPECT_EQ(inputs[0].Duration, 5000000000);
    EXPECT_EQ(inputs[0].Width, 720);
    EXPECT_EQ(inputs[0].Height, 576);
    EXPECT_EQ(inputs[0].AspectRatio, 16.0f / 9.0f);
    EXPECT_EQ(inputs[0].TrimStartUs, 1000000);
    EXPECT_EQ(inputs[0].TrimEndUs, 4500000000);
    EXPECT_FALSE(inputs[1].Trimmed());
    EXPECT_EQ(inputs[1].Duration, 0);
    EXPECT_EQ(inputs[1].Width, -1);
    EXPECT_EQ(inputs[1].AspectRatio, -1.0f);
    // The slide's texts and the full name as the picture's tool tip.
    EXPECT_EQ(model.columnCount(), InputColumnCount);
    EXPECT_EQ(model.index(0, icDuration).data().toString(), "Duration: 1:14:59.000 (00:01.000 to 1:15:00.000)");
    EXPECT_EQ(model.index(1, icDuration).data().toString(), "Duration: /m/b.mp3");
    EXPECT_EQ(model.index(1, icMainImage).data(Qt::ToolTipRole).toString(), "/m/b.mp3");
    EXPECT_TRUE(model.index(1, icMainImage).data(Qt::DecorationRole).value<QImage>().isNull());
}

TEST(InputListModel, MovesDeletesAndClearsKeepTheOrderAndTellTheViews) {
    EnsureApp();
    TInputListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (const char* name : {"a", "b", "c", "d"}) model.Append(Slide(name));
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    // Down and up by one, to the ends, and moves that cannot be made.
    model.Move(0, 1);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"b", "a", "c", "d"}));
    model.Move(3, 2);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"b", "a", "d", "c"}));
    model.Move(0, 3);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"a", "d", "c", "b"}));
    model.Move(3, 0);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"b", "a", "d", "c"}));
    model.Move(1, 1);
    model.Move(-1, 2);
    model.Move(2, 4);
    EXPECT_EQ(moved.count(), 4);
    EXPECT_EQ(model.JobInputs()[2].FullName, "d");

    // A persistent index (the grid's selection) follows its row.
    const QPersistentModelIndex selected = model.index(0, icMainImage);
    model.Move(0, 2);
    EXPECT_EQ(selected.row(), 2);
    EXPECT_EQ(model.Row(2).FullName, "b");

    model.Remove(1);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"a", "b", "c"}));
    model.Remove(7);
    EXPECT_EQ(model.Count(), 3);
    model.Clear();
    EXPECT_EQ(model.Count(), 0);
    EXPECT_TRUE(model.JobInputs().empty());
}

TEST(InputListModel, TheGridShowsOneSlidePerRow) {
    EnsureApp();
    TPageStep1 page;
    for (const char* name : {"/m/a.avi", "/m/b.avi"}) page.Model()->Append(Slide(name));
    QTableView* grid = page.Grid();
    EXPECT_EQ(grid->model(), page.Model());
    EXPECT_EQ(page.RowCount(), 2);
    // Only the picture's column is shown; the delegate draws the texts in it.
    EXPECT_FALSE(grid->isColumnHidden(icMainImage));
    for (int c = icFileMinName; c < InputColumnCount; ++c) EXPECT_TRUE(grid->isColumnHidden(c)) << c;
    EXPECT_EQ(grid->rowHeight(1), SlideRowHeight);
    page.SelectRow(1);
    page.MoveRow(1, 0);
    EXPECT_EQ(page.SelectedRow(), 0);
    EXPECT_EQ(page.JobInputs()[0].FullName, "/m/b.avi");
}

}  // namespace
