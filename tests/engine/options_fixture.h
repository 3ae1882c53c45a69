#pragma once
// Shared set-up of the option tests: the libraries loaded, the logger's lines
// collected, a task stand-in for SetOption.
#include "ff_exception.h"
#include "ff_loader.h"
#include "ff_logger.h"
#include "ff_options.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

// The two option texts of the device presets, as the presets store them.
inline const char* const DeviceOptions =
    "flags=+loop\r\ncmp=+chroma\r\ndeblockalpha=0\r\ndeblockbeta=0\r\ncrf=24\r\nrefs=1\r\ncoder=0\r\nme_range=16\r\n"
    "subq=5\r\npartitions=+parti4x4+parti8x8+partp8x8\r\ng=250\r\nkeyint_min=25\r\nlevel=30\r\nqmin=10\r\nqmax=51\r\n"
    "trellis=2\r\nsc_threshold=40\r\ni_qfactor=0.71\r\n";
inline const char* const PspOptions =
    "flags=+loop\r\ncmp=+chroma\r\npartitions=+parti4x4+partp8x8+partb8x8\r\nme_method=umh\r\nsubq=5\r\ntrellis=1\r\n"
    "refs=2\r\nbf=1\r\ncoder=1\r\nme_range=16\r\ng=300\r\nkeyint_min=25\r\nsc_threshold=40\r\ni_qfactor=0.71\r\n"
    "bt=64k\r\nmaxrate=4M\r\nbufsize=4M\r\nrc_eq='blurCplx^(1-qComp)'\r\nqcomp=0.6\r\nqmin=10\r\nqmax=51\r\nqdiff=4\r\n"
    "level=21";

class FakeOptionHost : public IOptionHost {
public:
    int OutputCount() const override { return outputs; }
    void NewStream(AVMediaType kind) override { streams.push_back(kind); }
    std::vector<AVRational> InputVideoFrameRates() const override { return rates; }
    bool AddVideoHook(const std::string& argument) override {
        hooks.push_back(argument);
        return hookAccepted;
    }

    int outputs = 0;
    std::vector<AVMediaType> streams;
    std::vector<AVRational> rates;
    std::vector<std::string> hooks;
    bool hookAccepted = true;
};

struct LoggedLine {
    TLogLevel level;
    std::string text;
};

class OptionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().LoadSet(EngineLibrarySet)) << FFLoader().LastError();
        InstallLibraryLogHook();
    }

    void SetUp() override {
        FFLogger().SetTriggerEventInMainThread(false);
        FFLogger().SetLogLevel(llInfo);
        FFLogger().SetOnLog([this](void*, uint32_t, TLogLevel level, const std::string& text) {
            std::lock_guard lock(mutex_);
            lines_.push_back({level, text});
        });
    }
    void TearDown() override { FFLogger().SetOnLog(nullptr); }

    void Set(const std::string& name, const std::string& value) { SetOption(state, host, name, value); }

    // The message of the FFmpegException the call raises; empty when none.
    template <class F>
    static std::string Raised(F&& f) {
        try {
            f();
        } catch (const FFmpegException& e) {
            return e.what();
        }
        return {};
    }

    // Lines logged so far at exactly that level containing the text.
    int Logged(TLogLevel level, const std::string& text) {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& l : lines_)
            if (l.level == level && l.text.find(text) != std::string::npos) ++n;
        return n;
    }
    int LoggedAt(TLogLevel level) {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& l : lines_) n += l.level == level;
        return n;
    }
    void ClearLog() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

    // A stored option by name; null when there is none.
    const TStoredOption* Stored(const std::string& name) {
        for (const auto& s : state.Defaults().Stored)
            if (s.Name == name) return &s;
        return nullptr;
    }

    TOptionState state;
    FakeOptionHost host;

private:
    std::mutex mutex_;  // guards lines_
    std::vector<LoggedLine> lines_;
};
