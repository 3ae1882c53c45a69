#pragma once
// What job building and the conversion run need of the encoder. The program
// uses the engine's TFFEncoder through TEncoderJobs (encoder_jobs.h); tests of
// the run's thread hand-overs stand in for it.
#include "ff_records.h"

#include <functional>
#include <string>

class TCustomDecoder;

using TJobProgressHandler = std::function<void(const TProgressInfo&)>;
using TJobTerminateHandler = std::function<void(const TTerminateInfo&)>;

class IJobEncoder {
public:
    virtual ~IJobEncoder() = default;

    // Task index, or -1 with LastErrorMessage.
    virtual int AddTask(const std::string& fileName, TInputOptions& options) = 0;
    virtual bool AddInputFile(int taskIndex, const std::string& fileName, TInputOptions& options) = 0;
    virtual bool SetOutputFile(int taskIndex, const std::string& fileName, TOutputOptions& options) = 0;
    virtual void RemoveTask(int taskIndex) = 0;
    virtual void ClearTasks() = 0;
    virtual void Start(int threadCount) = 0;
    virtual void Stop(bool wait) = 0;
    virtual int TaskCount() const = 0;
    virtual std::string LastErrorMessage() const = 0;
    // The library's code of the last error; 0 when there is none.
    virtual int LastErrorCode() const { return 0; }
    virtual void SetPreview(bool preview) = 0;
    // The encoder's own probe, used by per-file job building.
    virtual TCustomDecoder& Decoder() = 0;

    // Progress arrives on the user-interface thread, a task's end on a
    // notification thread (Start with a thread count above 0). Empty handlers
    // detach.
    virtual void SetHandlers(TJobProgressHandler onProgress, TJobTerminateHandler onTerminate) = 0;
};
