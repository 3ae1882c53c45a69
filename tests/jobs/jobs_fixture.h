#pragma once
// What the job-building and run tests share: the settings, an input and an
// output folder, the recorded page and the stand-in encoder.
#include "../common/temp_dir.h"
#include "fake_encoder.h"
#include "product_config.h"
#include "run_recorder.h"
#include "user_settings.h"

#include <gtest/gtest.h>

class JobsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SetDefaultSettings(settings);
        settings.OutputFileDir = out.path();
    }

    PlainDispatcher dispatcher;
    TProductConfig config;
    TUserSettings settings;
    TempDir in, out;
    TRunRecorder rec;
    TConvertList list{&rec};
    TFakeEncoder encoder{&dispatcher};
};
