// The option text of presets and of the option records: lines name=value,
// split and applied to a task's option state.
#include "ff_exception.h"
#include "ff_options.h"
#include "fuzz_common.h"
#include "fuzz_engine.h"

namespace {
// A task with no inputs or outputs yet.
class FuzzOptionHost final : public IOptionHost {
public:
    int OutputCount() const override { return 0; }
    void NewStream(AVMediaType) override {}
    std::vector<AVRational> InputVideoFrameRates() const override { return {}; }
    bool AddVideoHook(const std::string&) override { return false; }
};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The generic options are the libraries' own: they must be loaded.
    LoadEngineLibrariesForFuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const TOptionLine& line : SplitOptionText(text))
        FUZZ_CHECK(line.Name.find('\n') == std::string::npos && line.Value.find('\n') == std::string::npos);
    for (const bool inputs : {false, true}) {
        TOptionState state;
        FuzzOptionHost host;
        try {
            ApplyOptionText(state, host, text, inputs);
        } catch (const FFmpegException&) {
            // A bad value is refused with a message: that is the expected way.
        }
    }
    return 0;
}
