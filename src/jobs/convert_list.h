#pragma once
// The input rows a run is built from and the conversion list it shows: one
// row per accepted file with a caption and four cells. The list keeps the rows
// and forwards every change to the view that shows them (the Step3 page, the
// console).
#include "ff_join_plan.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One input file as the input list holds it after probing.
struct TJobInput {
    std::string FullName;
    int64_t Duration = 0;  // microseconds; 0 when the probe found none
    int32_t Width = -1;    // -1 without a video stream
    int32_t Height = -1;
    float AspectRatio = -1.0f;
    // Its place in the list the user gave (files the probe could not read
    // are missing from the job's list); -1: its index in the job's list.
    int Place = -1;
    // A trim: what is used of it, microseconds from its start; -1: its start
    // or its end.
    int64_t TrimStartUs = -1;
    int64_t TrimEndUs = -1;
    // Its streams as the probe that added it described them for the join
    // plan; null: the plan reads the file itself.
    std::shared_ptr<const TFileDesc> Described;

    bool Trimmed() const { return TrimStartUs > 0 || TrimEndUs >= 0; }
    // Has a sound stream: known from Described, else unknown (nullopt).
    std::optional<bool> HasSound() const;
    // The length used: the trimmed one, else the probed Duration.
    int64_t Length() const;
};

enum TConvertColumn : int { ccName = 0, ccDuration = 1, ccStatus = 2, ccProgress = 3, ccPath = 4 };
inline constexpr int ConvertColumnCount = 5;
inline constexpr std::array<const char*, ConvertColumnCount> ConvertColumnTitles = {"Name", "Duration", "Status",
                                                                                     "Progress", "Path"};
inline constexpr std::array<int, ConvertColumnCount> ConvertColumnWidths = {240, 80, 95, 95, 300};

struct TConvertRow {
    // Indexed by TConvertColumn: the caption, then the four cells.
    std::array<std::string, ConvertColumnCount> Cells;
    const std::string& operator[](TConvertColumn c) const { return Cells[c]; }
};

class IConvertRowView {
public:
    virtual ~IConvertRowView() = default;
    virtual void ClearRows() = 0;
    virtual void AddRow(const TConvertRow& row) = 0;
    virtual void SetCell(int row, TConvertColumn column, const std::string& text) = 0;
    // Titles of the Status and Progress columns ("Width x Height" and
    // "Aspect Ratio" while a join runs).
    virtual void SetColumnTitles(const std::string& status, const std::string& progress) = 0;
};

class TConvertList {
public:
    explicit TConvertList(IConvertRowView* view = nullptr) : view_(view) {}

    void Clear();
    void Add(TConvertRow row);
    // Ignores a row or column outside the list.
    void SetCell(int row, TConvertColumn column, const std::string& text);
    void SetColumnTitles(const std::string& status, const std::string& progress);

    int Count() const { return static_cast<int>(rows_.size()); }
    const TConvertRow& Row(int index) const { return rows_.at(index); }
    bool Has(int index) const { return index >= 0 && index < Count(); }

private:
    IConvertRowView* view_;
    std::vector<TConvertRow> rows_;
};
