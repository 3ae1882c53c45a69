#pragma once
// What the job-building and run tests share: the settings, an input and an
// output folder, the recorded page and the stand-in encoder.
#include "../common/temp_dir.h"
#include "fake_encoder.h"
#include "run_recorder.h"

#include <gtest/gtest.h>

class JobsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SetDefaultSettings(g);
        g.OutputFileDir = out.path();
    }

    PlainDispatcher dispatcher;
    TGlobalVars g;
    TempDir in, out;
    TRunRecorder rec{g};
    TConvertList list{&rec};
    TFakeEncoder encoder{&dispatcher};
};
