// orvane join / orvane convert: the conversion run of the window on the
// command line. join puts every input into one "Output_Merge" file; convert
// gives every input its own output.
#include "cli.h"

#include "add_files.h"
#include "catalogue.h"
#include "conversion_run.h"
#include "dispatcher.h"
#include "encoder_jobs.h"
#include "ff_decoder.h"
#include "ff_encoder.h"
#include "ff_libraries.h"
#include "ff_logger.h"
#include "input_probe.h"
#include "log_sink.h"
#include "planned_join.h"
#include "product_config.h"
#include "server_text.h"
#include "startup_choice.h"
#include "trims.h"
#include "util_funcs.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct JoinArgs {
    std::string Format, Preset, OutputDir, LogFile;
    std::string Name;  // the join's output name as given
    int Jobs = 0;  // 0: the run chooses
    bool ReencodeIfNeeded = false;
    bool Plan = false;  // print the plan, write nothing
    bool Verify = false;
    bool SkipFailed = false;  // join again without a file that fails
    std::vector<TTrimOption> Trims;  // in the order given; a later one for a file wins
    std::vector<std::string> Files;
};

// The log: every line into --log FILE. The page puts the lines that report
// a lost input also on standard error, so that they are never missed.
class CliLog final : public ILogSink {
public:
    bool Open(const std::string& path) {
        file_.open(path, std::ios::app);
        return file_.is_open();
    }
    void AppendLine(const std::string& line) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (file_.is_open()) file_ << line << '\n' << std::flush;
    }
    // A line on standard error that does not tear the progress line.
    void Console(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (progressShown_) std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "%s\n", PrintableText(line).c_str());
        progressShown_ = false;
    }
    void Progress(const std::string& text, bool tty) {
        std::lock_guard<std::mutex> lock(mutex_);
        // File names are the user's, and may hold anything but "/".
        const std::string printable = PrintableText(text);
        if (tty) {
            std::fprintf(stderr, "\r\033[K%s", printable.c_str());
            progressShown_ = true;
        } else {
            std::fprintf(stderr, "%s\n", printable.c_str());
        }
        std::fflush(stderr);
    }
    void EndProgress() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (progressShown_) std::fputc('\n', stderr);
        progressShown_ = false;
    }

private:
    std::mutex mutex_;  // guards file_ and the console state
    std::ofstream file_;
    bool progressShown_ = false;
};

// Step3 and Step4 as lines: the progress on standard error, the outcome of
// each file, and the summary on standard output.
class CliPage final : public IConvertRowView, public IConversionPage, public IConversionFinish {
public:
    CliPage(bool join, CliLog& log) : join_(join), log_(log), tty_(::isatty(STDERR_FILENO) == 1) {}

    void ClearRows() override { rows_.clear(); }
    void AddRow(const TConvertRow& row) override { rows_.push_back(row); }
    void SetCell(int row, TConvertColumn column, const std::string& text) override {
        if (row < 0 || row >= static_cast<int>(rows_.size())) return;
        rows_[row].Cells[column] = text;
    }
    void SetColumnTitles(const std::string&, const std::string&) override {}

    void SetCurrentFileTitle(const std::string&) override {}
    void SetCurrentFile(const std::string& text) override { file_ = text; }
    void SetProgress(int, const std::string& text) override { percent_ = text; }
    void SetOutputSize(const std::string& text) override { size_ = text; }
    void SetTimes(const std::string& estimated, const std::string& elapsed, const std::string& left) override {
        // The times come last in each report: one line per report.
        log_.Progress(percent_ + "  elapsed " + elapsed + "  left " + left + "  estimated " + estimated + "  size " +
                          (size_ == "..." ? size_ : "~" + size_) + "  " + file_,
                      tty_);
    }
    // A join's rows are its inputs, not its one task: only a file of its own has an outcome line.
    void TaskEnded(int taskIndex, TTaskOutcome outcome) override {
        if (join_ || taskIndex < 0 || taskIndex >= static_cast<int>(rows_.size())) return;
        log_.Console(rows_[taskIndex][ccName] + ": " + TaskStatusText(outcome));
    }
    void InputRefused(const TJobRefusal& refusal) override { log_.Console(refusal.LogLine()); }

    // A script's run ends without a sound, a countdown or a power-off.
    void PlaySoundFile(const std::string&) override {}
    bool ShowShutdownCountdown() override { return false; }
    void ShutdownComputer() override {}
    // The command prints the summary of its last run (PrintSummary).
    void ShowConversionSummary(const TConversionResult&) override { log_.EndProgress(); }

private:
    const bool join_;
    CliLog& log_;
    const bool tty_;
    std::vector<TConvertRow> rows_;
    std::string file_, percent_ = "0%", size_ = "...";
};

// Step4 as lines: the counts, every file that failed, every file written.
void PrintSummary(const TConversionResult& result) {
    if (result.Cancelled) std::printf("Cancelled\n");
    std::printf("Total files: %d\nSuccessed: %d\nFailed: %d\n", result.TotalFiles, result.SucceededFiles,
                result.FailedFiles());
    for (const std::string& line : result.ErrorList) std::printf("%s\n", PrintableText(line).c_str());
    for (const std::string& line : result.Warnings) std::printf("Warning: %s\n", PrintableText(line).c_str());
    for (const std::string& file : result.Outputs) std::printf("Output: %s\n", PrintableText(file).c_str());
    std::fflush(stdout);
}

// Cancelled before the run began: every file counts, none written.
int CancelledBeforeRun(size_t files) {
    TConversionResult result;
    result.Cancelled = true;
    result.TotalFiles = static_cast<int>(files);
    PrintSummary(result);
    return 1;
}

int Usage(const char* command, const std::string& message) {
    return UsageError(std::string("orvane ") + command, message);
}

// A join with a copying preset follows its plan. With --plan the plan is
// printed and nothing written; a plan that re-encodes anything runs only with
// --reencode-if-needed, and is printed on standard error otherwise.
// -1: the run goes on; else the command's status.
int FollowPlan(const TUserSettings& settings, const std::vector<TJobInput>& inputs, const JoinArgs& a,
               TConversionRun& run) {
    const TPlannedJoin planned = PlanJoin(settings, inputs);
    if (a.Plan) {
        if (planned.Active) {
            for (const std::string& line : planned.Lines()) std::printf("%s\n", PrintableText(line).c_str());
        } else {
            const std::string caption(PresetCaption(CurrentPreset(settings)));
            for (const TJobInput& in : inputs)
                std::printf("File (%d) %s: re-encoded with \"%s\"\n", in.Place + 1,
                            PrintableText(ExtractFileName(in.FullName)).c_str(),
                            caption.c_str());
        }
        std::fflush(stdout);
        return 0;
    }
    if (!planned.CopiesEverything() && !a.ReencodeIfNeeded) {
        for (const std::string& line : planned.ReencodeLines())
            std::fprintf(stderr, "%s\n", PrintableText(line).c_str());
        std::fprintf(stderr,
                     "orvane join: these files cannot all be copied into one file; --reencode-if-needed joins them "
                     "re-encoding only what differs, as listed\n");
        return 1;
    }
    if (!planned.CopiesEverything())
        for (const std::string& line : planned.ReencodeLines())
            std::fprintf(stderr, "%s\n", PrintableText(line).c_str());
    run.UsePlannedJoin(planned);
    return -1;
}

// The options as given; a status >= 0 ends the command (wrong usage).
int ReadJoinArgs(const char* command, bool join, const TParsedArgs& args, JoinArgs& a) {
    a.Format = args.Value("--format");
    a.Preset = args.Value("--preset");
    a.OutputDir = args.Value("--output");
    a.LogFile = args.Value("--log");
    a.Files = args.Operands;
    a.ReencodeIfNeeded = join && args.Has("--reencode-if-needed");
    a.Plan = join && args.Has("--plan");
    a.Verify = join && args.Has("--verify");
    a.SkipFailed = join && args.Has("--skip-failed");
    if (join && args.Has("--name")) {
        a.Name = args.Value("--name");
        if (OutputBaseName(a.Name, "").empty())
            return Usage(command, "--name takes a file name without \"/\", not '" + a.Name + "'");
    }
    if (a.Files.empty()) return Usage(command, "no input file given");
    for (const auto& [option, value] : args.Options) {
        if (option != "--trim") continue;
        TTrimOption trim;
        std::string error;
        if (!ParseTrimOption(value, trim, error)) return Usage(command, "--trim " + error);
        if (trim.File > static_cast<int>(a.Files.size()))
            return Usage(command, "--trim '" + value + "': there is no file " + std::to_string(trim.File) + " (" +
                                      std::to_string(a.Files.size()) + " given)");
        a.Trims.push_back(trim);
    }
    const std::string jobs = args.Value("--jobs");
    if (!jobs.empty()) {
        char* end = nullptr;
        const long n = std::strtol(jobs.c_str(), &end, 10);
        if (*end || end == jobs.c_str() || n < 1 || n > 64)
            return Usage(command, "--jobs takes a number of files from 1 to 64, not '" + jobs + "'");
        a.Jobs = static_cast<int>(n);
    }
    return -1;
}

// The format, preset and output folder given over the saved choice; a status
// >= 0 ends the command.
int ChooseOutput(const char* command, const JoinArgs& a, TUserSettings& s) {
    if (!a.Format.empty()) {
        const TFormatId* f = FindFormatByName(a.Format);
        if (!f) return Usage(command, "unknown format '" + a.Format + "' (see 'orvane presets')");
        s.ChooseFormat(f->Id);
    }
    const TCatalogueFormat* format = FindCatalogueFormat(s.OutputFormatClass, s.CurrentFormatCode());
    if (!format) return Usage(command, "no output format chosen (use --format)");
    if (!a.Preset.empty()) {
        const int count = static_cast<int>(format->Presets.size());
        char* end = nullptr;
        const long index = std::strtol(a.Preset.c_str(), &end, 10);
        if (*end || end == a.Preset.c_str() || index < 0 || index >= count)
            return Usage(command, "preset index '" + a.Preset + "' is not one of " + std::string(format->Format->Name) +
                                      "'s 0.." + std::to_string(count - 1));
        s.PresetOf(s.OutputFormatClass, s.CurrentFormatCode()) = static_cast<int32_t>(index);
    }
    if (!a.OutputDir.empty()) s.OutputFileDir = a.OutputDir;
    if (s.OutputFileDir.empty()) return Usage(command, "no output folder (use -o)");
    s.OutputFileDir = AbsolutePath(s.OutputFileDir);
    if (!ForceDirectories(s.OutputFileDir)) {
        // Not wrong usage: the folder is right, the system refused it.
        std::fprintf(stderr, "orvane %s: cannot create the output folder %s\n", command, s.OutputFileDir.c_str());
        return 1;
    }
    return -1;
}

int CheckInputFiles(const char* command, const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        if (DirectoryExists(file)) return Usage(command, "'" + file + "' is a folder, not a file");
        if (!FileExists(file)) return Usage(command, "no such file '" + file + "'");
    }
    return -1;
}

// The input list: every file probed as it is added, several at once (one per
// core), in the order given; one the probe cannot open is reported and left out.
struct ProbedInputs {
    std::vector<TJobInput> Inputs;
    std::vector<TJobRefusal> Unreadable;
};

class JobInputCollector : public IInputListTarget {
public:
    JobInputCollector(const JoinArgs& a, CliLog& log, CliPage& page, ProbedInputs& probed)
        : a_(a), log_(log), page_(page), probed_(probed) {}

    void AppendInputRow(const TProbedFile& file) override {
        TJobInput input = file.Row.JobInput();
        input.Place = place_++;
        for (const TTrimOption& trim : a_.Trims)
            if (trim.File == input.Place + 1) {
                input.TrimStartUs = trim.StartUs;
                input.TrimEndUs = trim.EndUs;
            }
        probed_.Inputs.push_back(input);
    }
    void InputFailed(const std::string& path, const std::string& error) override {
        probed_.Unreadable.push_back({place_++, path, rkUnreadable, error, toRefused, 0, path});
        log_.AppendLine(probed_.Unreadable.back().LogLine());
        page_.InputRefused(probed_.Unreadable.back());
    }
    void ShowFailedFiles(const std::vector<std::string>&) override {}

private:
    const JoinArgs& a_;
    CliLog& log_;
    CliPage& page_;
    ProbedInputs& probed_;
    int place_ = 0;
};

ProbedInputs ProbeInputs(const JoinArgs& a, CliLog& log, CliPage& page, IDispatcher& dispatcher) {
    ProbedInputs probed;
    std::vector<std::string> paths;
    for (const std::string& file : a.Files) paths.push_back(AbsolutePath(file));
    JobInputCollector collector(a, log, page, probed);
    TFFDecoder decoder;
    TAddFilesBatch batch(decoder, collector, nullptr, &dispatcher, ProbeWorkers());
    batch.WithThumbnails = false;
    // Ctrl+C while many files are probed: the run never starts.
    batch.AddFiles(paths, [&batch] {
        if (TCliInterrupt::Pending()) batch.Abort();
    });
    return probed;
}

// Runs the conversion to its end; Ctrl+C or a kill cancels it as Cancel does.
void RunToEnd(TConversionRun& run, const ProbedInputs& probed, IDispatcher& dispatcher, CliLog& log,
              const TCliInterrupt& interrupt) {
    run.StartConversion(probed.Inputs, probed.Unreadable);
    bool cancelled = false;
    // The run's state and the interrupt both change through work queued here.
    TWaitable queued;
    while (run.Running()) {
        queued.WaitUntil(&dispatcher, [&] { return !run.Running() || (interrupt.Requested() && !cancelled); });
        if (interrupt.Requested() && !cancelled && run.Running()) {
            cancelled = true;
            log.Console("Stopping...");
            run.Cancel();
        }
    }
}

// The inputs of the next join without the files the last one failed on;
// each left out counts and is named as a file that could not be read. False
// when the last run blamed none of them.
bool LeaveOutFailed(const TConversionResult& result, ProbedInputs& inputs) {
    bool any = false;
    for (const TFailedInput& failed : result.FailedInputs) {
        const auto it = std::find_if(inputs.Inputs.begin(), inputs.Inputs.end(),
                                     [&](const TJobInput& in) { return in.Place == failed.Place; });
        if (it == inputs.Inputs.end()) continue;
        TJobRefusal left{it->Place, it->FullName, rkUnreadable, failed.Reason, toRefused, 0, it->FullName};
        std::fprintf(stderr, "Joining again without %s\n", PrintableText(left.FailureLine()).c_str());
        inputs.Unreadable.push_back(std::move(left));
        inputs.Inputs.erase(it);
        any = true;
    }
    return any;
}

// The run to its end; with --skip-failed a join that failed on a file runs
// again without it. -1: the run ended; else the command's status.
int RunJoinsToEnd(TConversionRun& run, ProbedInputs inputs, const JoinArgs& a, const TUserSettings& settings,
                  IDispatcher& dispatcher, CliLog& log, const TCliInterrupt& interrupt) {
    for (;;) {
        RunToEnd(run, inputs, dispatcher, log, interrupt);
        const TConversionResult& result = run.Result();
        if (!a.SkipFailed || result.Cancelled || !result.Outputs.empty()) return -1;
        if (!LeaveOutFailed(result, inputs) || inputs.Inputs.empty()) return -1;
        if (const int status = FollowPlan(settings, inputs.Inputs, a, run); status >= 0) return status;
    }
}

int RunConversion(const char* command, bool join, const TParsedArgs& args, IDispatcher& dispatcher) {
    JoinArgs a;
    if (const int status = ReadJoinArgs(command, join, args, a); status >= 0) return status;
    // The window's start: its configuration and the user's saved choice.
    TStartupChoice choice = LoadStartupChoice(DesktopFolders());
    if (const int status = ChooseOutput(command, a, choice.Settings); status >= 0) return status;
    if (a.Verify) choice.Settings.VerifyOutput = true;
    if (const int status = CheckInputFiles(command, a.Files); status >= 0) return status;
    choice.Settings.JoinFiles = join;

    CliLog log;
    if (!a.LogFile.empty() && !log.Open(a.LogFile)) return Usage(command, "cannot write the log file " + a.LogFile);

    // From here on a signal cancels: probing many files takes a while too.
    const TCliInterrupt interrupt(dispatcher);
    TFFEncoder encoder(&dispatcher);
    if (std::string error; !LoadCodecLibraries(ExecutableFolder(), error)) {
        log.AppendLine(error);
        std::fprintf(stderr, "orvane %s: %s\n", command, error.c_str());
        return 1;
    }
    TEncoderJobs encoderJobs(encoder);
    CliPage page(join, log);
    TConvertList list(&page);
    TConversionRun run(choice.Config, choice.Settings, encoderJobs, list, page, page, &log, &dispatcher);
    run.Jobs = a.Jobs;
    if (!a.Name.empty()) run.OutputName = OutputBaseName(a.Name, OutputExtension(choice.Settings));
    FFLogger().SetLogLevel(llError);
    FFLogger().SetOnLog([&run](void* sender, uint32_t threadId, TLogLevel level, const std::string& message) {
        run.FFLoggerLog(sender, threadId, level, message);
    });
    struct Detach {
        ~Detach() { FFLogger().SetOnLog({}); }
    } detach;

    const ProbedInputs probed = ProbeInputs(a, log, page, dispatcher);
    if (interrupt.Requested()) return CancelledBeforeRun(a.Files.size());
    for (const TJobInput& in : probed.Inputs)
        if (in.Duration > 0 && in.TrimStartUs >= in.Duration)
            return Usage(command, "--trim: file " + std::to_string(in.Place + 1) + " is " +
                                      TrimTimeText(in.Duration) + " long; its trim starts after its end");
    if (probed.Inputs.empty()) {
        std::fprintf(stderr, "orvane %s: none of the input files can be read\n", command);
        return 1;
    }
    if (join) {
        if (const int status = FollowPlan(choice.Settings, probed.Inputs, a, run); status >= 0) return status;
    }
    if (const int status = RunJoinsToEnd(run, probed, a, choice.Settings, dispatcher, log, interrupt); status >= 0)
        return status;
    PrintSummary(run.Result());
    // Every file left out counts in TotalFiles.
    return run.Result().AllWritten() ? 0 : 1;
}

int RunJoin(const TParsedArgs& args, IDispatcher& dispatcher) {
    return RunConversion("join", true, args, dispatcher);
}
int RunConvert(const TParsedArgs& args, IDispatcher& dispatcher) {
    return RunConversion("convert", false, args, dispatcher);
}

// The options of both commands, read at the top of RunConversion.
const std::vector<TCommandOption> ConversionOptions = {
    {"--format", "-f", "FORMAT",
     "output format: a name that 'orvane presets' lists, such as MP4, mp3 or iPod; case does not matter"},
    {"--preset", "-p", "N", "the format's preset by its index, as 'orvane presets FORMAT' lists them"},
    {"--output", "-o", "DIR", "output folder; created when missing"},
    {"--log", "", "FILE", "append every line of the run's log to FILE"},
    {"--trim", "", "N=START-END",
     "use only START to END of file N (counting the files from 1), times as seconds (12.5) or "
     "[[h:]mm:]ss[.fff]; either may be left out (2=-1:30, 3=0:05-); repeat for other files"},
};
// join alone may re-encode what a copying preset cannot join.
const std::vector<TCommandOption> JoinOptions = [] {
    std::vector<TCommandOption> options = ConversionOptions;
    options.insert(options.end() - 1,
                   {"--reencode-if-needed", "", "",
                    "with a \"Same as source - no re-encoding\" preset, join files that cannot all be copied into "
                    "one file by re-encoding only what differs (the plan) instead of refusing them"});
    options.insert(options.end() - 1,
                   {"--verify", "", "",
                    "after the join, decode the output whole; a decoder error, a missing picture or a length "
                    "more than a frame away from the files' together fails the run, naming the place, and the "
                    "output is not kept"});
    options.insert(options.end() - 1,
                   {"--name", "-n", "NAME",
                    "the output's name without its extension instead of \"Output_Merge\" (a number is added when "
                    "it is taken)"});
    options.insert(options.end() - 1,
                   {"--skip-failed", "", "",
                    "when a file fails during the join, join the other files again without it; the summary names "
                    "each file left out and the exit status is 1"});
    options.insert(options.end() - 1,
                   {"--plan", "", "",
                    "print what the join would copy and what it would re-encode, one line per file, and write "
                    "nothing"});
    return options;
}();
// convert alone runs several files at once.
const std::vector<TCommandOption> ConvertOptions = [] {
    std::vector<TCommandOption> options = ConversionOptions;
    options.insert(options.end() - 1, {"--jobs", "-j", "N", "convert up to N files at once, from 1 to 64"});
    return options;
}();
const std::string SavedChoiceText =
    "Options left out take the choice last saved by the window (format, its preset, output folder). "
    "Progress and each file's outcome go to standard error, the summary to standard output. Ctrl+C or a "
    "kill cancels the run as the window's Cancel does and deletes the unfinished output.";

const CliRegistration joinRegistration({
    .Name = "join",
    .Summary = "join the files, in order, into one output file",
    .Help = {.Synopsis = "[OPTIONS] FILE...",
             .Description = "Joins the FILEs, in the order given, into one file named \"Output_Merge\" with the "
                            "format's extension, in the output folder (a number is added to the name when it is "
                            "taken).\n\n" +
                            SavedChoiceText,
             .Options = JoinOptions,
             .ExitStatuses = {{0, "the output was written from every FILE"},
                              {1, "a FILE could not be read or was left out, the output folder could not be "
                                  "created, the output failed, or the run was cancelled"},
                              {ExitUsage, "wrong usage: an unknown option, a bad format or preset, a FILE that "
                                          "does not exist or is a folder"}}},
    .Run = RunJoin,
});
const CliRegistration convertRegistration({
    .Name = "convert",
    .Summary = "convert each file into its own output file",
    .Help = {.Synopsis = "[OPTIONS] FILE...",
             .Description = "Converts each FILE into its own output file, named as the FILE with the format's "
                            "extension, in the output folder (a number is added to a name that is taken).\n\n" +
                            SavedChoiceText,
             .Options = ConvertOptions,
             .ExitStatuses = {{0, "every FILE was converted"},
                              {1, "a FILE could not be read or converted, the output folder could not be "
                                  "created, or the run was cancelled"},
                              {ExitUsage, "wrong usage: an unknown option, a bad format or preset, a FILE that "
                                          "does not exist or is a folder"}}},
    .Run = RunConvert,
});

}  // namespace
