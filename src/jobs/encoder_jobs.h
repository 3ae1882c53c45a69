#pragma once
// The engine's encoder as the job builder and the conversion run use it.
#include "job_encoder.h"

class TCustomEncoder;

class TEncoderJobs final : public IJobEncoder {
public:
    // A join takes every file of the list (camera folders hold hundreds of
    // clips): the encoder's limit of files per task is lifted. Its inputs
    // hold no open file while they wait, so the open-file limit is no bound.
    explicit TEncoderJobs(TCustomEncoder& encoder);
    ~TEncoderJobs() override;

    int AddTask(const std::string& fileName, TInputOptions& options) override;
    bool AddInputFile(int taskIndex, const std::string& fileName, TInputOptions& options) override;
    bool SetOutputFile(int taskIndex, const std::string& fileName, TOutputOptions& options) override;
    void RemoveTask(int taskIndex) override;
    void ClearTasks() override;
    void Start(int threadCount) override;
    void Stop(bool wait) override;
    int TaskCount() const override;
    std::string LastErrorMessage() const override;
    int LastErrorCode() const override;
    void SetPreview(bool preview) override;
    TCustomDecoder& Decoder() override;
    void SetHandlers(TJobProgressHandler onProgress, TJobTerminateHandler onTerminate) override;

private:
    TCustomEncoder& encoder_;
};
