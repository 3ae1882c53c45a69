// A damaged file joined with itself, as a copying join does it: described
// and planned (what the output format takes), then read through the join
// timeline (demuxing, the stamp guard, the cut-short check) into Matroska.
// However the run ends, the output folder holds the whole output or nothing.
#include "dispatcher.h"
#include "ff_encoder.h"
#include "ff_join_plan.h"
#include "fuzz_common.h"
#include "fuzz_engine.h"

#include <filesystem>

namespace {
std::filesystem::path& OutputFolder() {
    static std::filesystem::path folder;
    return folder;
}

bool PlanCopies(const TJoinPlan& plan) {
    for (const TPlanStream& stream : plan.Streams)
        if (!stream.Fallback.empty()) return false;
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LoadEngineLibrariesForFuzzing();
    char pattern[] = "/tmp/fuzz-join-XXXXXX";
    if (!::mkdtemp(pattern)) std::abort();
    OutputFolder() = pattern;
    std::atexit([] { std::filesystem::remove_all(OutputFolder()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile file(data, size);
    TFileDesc desc;
    std::string error;
    if (!DescribeFile(file.Path(), desc, error)) return 0;
    static const TPlanFormat mp4 = PlanFormatFor("o.mp4", "", "MP4", false);
    static const TPlanFormat mkv = PlanFormatFor("o.mkv", "", "MKV", false);
    FUZZ_CHECK(!PlanLines(MakeJoinPlan({desc, desc}, mp4)).empty());
    const TJoinPlan plan = MakeJoinPlan({desc, desc}, mkv);

    PlainDispatcher dispatcher;
    TFFEncoder encoder(&dispatcher);
    encoder.IOTimeout = 5000;
    const int task = encoder.AddTask(file.Path());
    if (task < 0 || !encoder.AddInputFile(task, file.Path())) return 0;
    TOutputOptions options;
    InitOutputOptions(options);
    options.Join = true;
    if (PlanCopies(plan)) {
        options.Plan = plan;
        options.ExtOptions = "vcodec=copy\nacodec=copy";
    } else {
        // Small pictures at 25 a second: a damaged file's claimed length (up
        // to what the stamp guard lets through) then costs little to fill.
        options.ExtOptions = "vcodec=mpeg4\nacodec=aac\ns=64x48\nr=25";
    }
    const std::filesystem::path out = OutputFolder() / "out.mkv";
    if (!encoder.SetOutputFile(task, out.string(), &options)) return 0;
    encoder.Start(0);
    // A finished join leaves its output, any other ending nothing.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(OutputFolder())) {
        FUZZ_CHECK(entry.path() == out);
        ++entries;
    }
    FUZZ_CHECK(entries <= 1);
    std::filesystem::remove(out);
    return 0;
}
