#include "add_files.h"

#include "ff_decoder.h"
#include "log_sink.h"

void TAddFilesBatch::AddFiles(const std::vector<std::string>& paths, const std::function<void()>& between) {
    if (paths.empty()) return;
    if (busy_) {
        pending_.insert(pending_.end(), paths.begin(), paths.end());
        return;
    }
    {
        struct Busy {
            TAddFilesBatch& b;
            ~Busy() {
                b.pending_.clear();
                b.busy_ = false;
            }
        } busy{*this};
        busy_ = true;
        aborted_ = false;
        failed_.clear();
        pending_.assign(paths.begin(), paths.end());
        if (between) between();
        while (!pending_.empty() && !aborted_) {
            const std::string path = pending_.front();
            pending_.pop_front();
            AddOne(path);
            if (between && !pending_.empty() && !aborted_) between();
        }
    }
    // The batch is over: files dropped while the dialog is open start a new one.
    if (failed_.empty() || aborted_) return;
    const std::vector<std::string> failed = failed_;
    target_.ShowFailedFiles(failed);
}

void TAddFilesBatch::AddOne(const std::string& path) {
    TProbedFile probed;
    if (!ProbeInputFile(probe_, path, probed)) {
        const std::string error = probe_.LastErrorMessage();
        if (log_) log_->AppendLine("File load error: " + error);
        failed_.push_back(error);
        return;
    }
    target_.AppendInputRow(probed);
}
