#pragma once
// A task as the encoder keeps it: the task plus the decoders bound to its
// inputs and the caller's option records. Private to the encoder's files.
#include "ff_decoder.h"
#include "ff_encoder.h"
#include "ff_task.h"

#include <memory>
#include <vector>

class TFFmpeg : public TCustomFFmpeg {
public:
    TFFmpeg(TCustomEncoder* owner, int maxFiles)
        : TCustomFFmpeg(maxFiles, owner->dispatcher_), Encoder(owner) {}
    ~TFFmpeg() override {
        // A task freed before it ran ends without a notification.
        DropCallbacks();
        TerminateCallback = nullptr;
        InputDecoders.clear();
        InputOptions.clear();
        OutputOptions.clear();
        Stop(true);
    }

    TCustomEncoder* Encoder;
    // One entry per input and per output, grown as they are added.
    std::vector<std::unique_ptr<TFFDecoder>> InputDecoders;
    std::vector<std::unique_ptr<TInputOptions>> InputOptions;
    std::vector<std::unique_ptr<TOutputOptions>> OutputOptions;
};
