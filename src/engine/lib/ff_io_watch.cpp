#include "ff_io_watch.h"

#include "ff_api.h"
#include "ff_errors.h"
#include "ff_logger.h"

void TIoWatch::Begin() {
    reason_.clear();
    start_ = FF.av_gettime_relative();
}

std::string TIoWatch::Failure(const std::string& fileName, int code) const {
    if (!reason_.empty()) return fileName + ": " + reason_;
    return ErrorText(fileName, code);
}

bool TIoWatch::CheckTimeout(void* argument, void* /*owner*/) {
    auto* watch = static_cast<TIoWatch*>(argument);
    if (watch->TimeoutMs <= 0) return false;
    const int64_t start = watch->start_;
    if (start == INT64_MAX) return false;
    if (FF.av_gettime_relative() - start <= static_cast<int64_t>(watch->TimeoutMs) * 1000) return false;
    watch->reason_ = start == 0 ? "connecting/reading/writing canceled" : "connecting/reading/writing timeout";
    FFLogger().Log(watch->logSender_, llInfo, watch->reason_);
    return true;
}
