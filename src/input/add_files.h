#pragma once
// Adding a batch of files to the input list: each path is probed in order,
// a file the probe can open becomes a row, one it cannot is logged and
// reported after the batch.
#include "input_probe.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

class ILogSink;
class TFFDecoder;

// The list that receives the rows (the Step1 page).
class IInputListTarget {
public:
    virtual ~IInputListTarget() = default;
    // A probed file becomes the list's last row.
    virtual void AppendInputRow(const TProbedFile& file) = 0;
    // After a batch with failures: the failed-files dialog, modal.
    virtual void ShowFailedFiles(const std::vector<std::string>& errors) = 0;
};

class TAddFilesBatch {
public:
    TAddFilesBatch(TFFDecoder& probe, IInputListTarget& target, ILogSink* log)
        : probe_(probe), target_(target), log_(log) {}

    // Empties the failed-files list and adds the paths. between() runs once
    // before the first file and after every file but the last, so the window
    // keeps painting. Paths handed in while a batch runs (from between) are
    // appended to it. Nothing happens for an empty list.
    void AddFiles(const std::vector<std::string>& paths, const std::function<void()>& between = {});
    // The running batch drops the files it has not probed yet and shows no
    // dialog (the list is being emptied or the window closes).
    void Abort() { aborted_ = true; }
    bool Busy() const { return busy_; }
    // The errors of the latest batch.
    const std::vector<std::string>& FailedFiles() const { return failed_; }

private:
    void AddOne(const std::string& path);

    TFFDecoder& probe_;
    IInputListTarget& target_;
    ILogSink* log_;
    std::deque<std::string> pending_;
    std::vector<std::string> failed_;
    bool busy_ = false;
    bool aborted_ = false;
};
