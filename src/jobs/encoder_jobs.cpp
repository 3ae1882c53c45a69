#include "encoder_jobs.h"

#include "ff_encoder.h"

#include <limits>

TEncoderJobs::TEncoderJobs(TCustomEncoder& encoder) : encoder_(encoder) {
    encoder_.MaxFilesPerTask = std::numeric_limits<int>::max();
}

TEncoderJobs::~TEncoderJobs() { SetHandlers({}, {}); }

int TEncoderJobs::AddTask(const std::string& fileName, TInputOptions& options) {
    return encoder_.AddTask(fileName, &options);
}

bool TEncoderJobs::AddInputFile(int taskIndex, const std::string& fileName, TInputOptions& options) {
    return encoder_.AddInputFile(taskIndex, fileName, &options);
}

bool TEncoderJobs::SetOutputFile(int taskIndex, const std::string& fileName, TOutputOptions& options) {
    return encoder_.SetOutputFile(taskIndex, fileName, &options);
}

void TEncoderJobs::RemoveTask(int taskIndex) { encoder_.RemoveTask(taskIndex); }
void TEncoderJobs::ClearTasks() { encoder_.ClearTasks(); }
void TEncoderJobs::Start(int threadCount) { encoder_.Start(threadCount); }
void TEncoderJobs::Stop(bool wait) { encoder_.Stop(wait); }
int TEncoderJobs::TaskCount() const { return encoder_.TaskCount(); }
std::string TEncoderJobs::LastErrorMessage() const { return encoder_.LastErrorMessage(); }
int TEncoderJobs::LastErrorCode() const { return encoder_.LastError().Code(); }
void TEncoderJobs::SetPreview(bool preview) { encoder_.SetPreview(preview); }
TCustomDecoder& TEncoderJobs::Decoder() { return encoder_.Decoder(); }

void TEncoderJobs::SetHandlers(TJobProgressHandler onProgress, TJobTerminateHandler onTerminate) {
    if (onProgress)
        encoder_.OnProgress = [handler = std::move(onProgress)](TCustomEncoder*, PProgressInfo info) {
            handler(*info);
        };
    else
        encoder_.OnProgress = nullptr;
    if (onTerminate)
        encoder_.OnTerminate = [handler = std::move(onTerminate)](TCustomEncoder*, const TTerminateInfo& info) {
            handler(info);
        };
    else
        encoder_.OnTerminate = nullptr;
}
