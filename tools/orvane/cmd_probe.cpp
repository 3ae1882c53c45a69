// orvane probe FILE... [--thumbnail DIR]: what the input list shows of each file.
#include "cli.h"

#include "add_files.h"
#include "ff_decoder.h"
#include "ff_libraries.h"
#include "hidden_file.h"
#include "input_probe.h"
#include "server_text.h"
#include "util_funcs.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {
bool WritePngFile(const std::string& path, const TFFBitmap& bitmap) {
    // The hidden file as it was made: never a link put in its place.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!f) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width), static_cast<png_uint_32>(bitmap.Height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        // Thumbnails are written often and read once: favour speed.
        png_set_compression_level(png, 1);
        png_write_info(png, info);
        for (int y = 0; y < bitmap.Height; ++y) png_write_row(png, const_cast<png_bytep>(bitmap.Row(y)));
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0 && ok;
}

// Saves the picture as folder/NAME.png, NAME being the input's name, or the
// first free "NAME(n).png": written under a hidden name and given its name
// only when complete, so that no file there is replaced or left half written.
// Returns the path saved, or empty.
std::string WritePng(const std::string& folder, const std::string& input, const TFFBitmap& bitmap,
                     std::set<std::string>& given) {
    const std::string dir = IncludeTrailingSeparator(folder);
    const auto taken = [&](const std::string& name) { return given.count(name) || PathTaken(dir + name); };
    const std::string name = FreeFileName(ExtractFileName(input), ".png", taken);
    THiddenFile hidden;
    if (name.empty() || !hidden.Create(dir + name) || !WritePngFile(hidden.Path(), bitmap)) return {};
    const std::string saved = hidden.Commit();
    if (!saved.empty()) given.insert(ExtractFileName(saved));
    return saved;
}

// Prints each file as its probe is added, in the order given; thumbnails
// are saved as their rows come.
class ProbePrinter : public IInputListTarget {
public:
    explicit ProbePrinter(std::string thumbnails) : thumbnails_(std::move(thumbnails)) {}
    int Status() const { return status_; }

    void AppendInputRow(const TProbedFile& probed) override {
        const TInputRow& row = probed.Row;
        const std::string& path = row.FullName;
        // A name's control characters would reach the terminal as commands.
        std::printf("%s\n%s\n%s\n%s\n", PrintableText(path).c_str(), row.DurationLine.c_str(),
                    row.BitrateLine.c_str(), row.DimensionLine.c_str());
        // Only a file with several sound tracks or subtitles gets a fifth line.
        if (!row.TracksLine.empty()) std::printf("%s\n", row.TracksLine.c_str());
        std::printf("\n");
        std::fflush(stdout);
        if (thumbnails_.empty() || probed.Thumbnail == tkAudioIcon) return;
        // The thumbnail the input list makes: the picture in the middle of the file.
        if (probed.Thumbnail != tkPicture) {
            // The probe's last message may concern another stream.
            std::fprintf(stderr, "Thumbnail error: %s: no picture could be decoded\n", PrintableText(path).c_str());
            status_ = 1;
            return;
        }
        if (WritePng(thumbnails_, path, probed.Picture, thumbnailNames_).empty()) {
            const std::string png = IncludeTrailingSeparator(thumbnails_) + ExtractFileName(path) + ".png";
            std::fprintf(stderr, "Cannot write %s\n", PrintableText(png).c_str());
            status_ = 1;
        }
    }
    void InputFailed(const std::string&, const std::string& error) override {
        std::fprintf(stderr, "File load error: %s\n", PrintableText(error).c_str());
        status_ = 1;
    }
    void ShowFailedFiles(const std::vector<std::string>&) override {}

private:
    const std::string thumbnails_;
    // Two inputs of one name (from different folders) get different pictures.
    std::set<std::string> thumbnailNames_;
    int status_ = 0;
};

int RunProbe(const TParsedArgs& args, IDispatcher& dispatcher) {
    const std::vector<std::string>& files = args.Operands;
    const std::string thumbnails = args.Value("--thumbnail");
    if (files.empty()) return UsageError("orvane probe", "no file given");
    if (!thumbnails.empty() && !ForceDirectories(thumbnails)) {
        std::fprintf(stderr, "orvane probe: cannot create folder %s\n", thumbnails.c_str());
        return 1;
    }
    std::string error;
    if (!LoadCodecLibraries(ExecutableFolder(), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::vector<std::string> paths;
    for (const std::string& file : files) paths.push_back(AbsolutePath(file));
    // Several files probed at once, one per core, printed in the order given.
    TFFDecoder decoder;
    ProbePrinter printer(thumbnails);
    TAddFilesBatch batch(decoder, printer, nullptr, &dispatcher, ProbeWorkers());
    batch.WithThumbnails = !thumbnails.empty();
    batch.AddFiles(paths);
    return printer.Status();
}

const CliRegistration registration({
    .Name = "probe",
    .Summary = "show what the window's input list shows of each file",
    .Help = {.Synopsis = "[--thumbnail DIR] FILE...",
             .Description = "Reads each FILE as the window's input list does and prints its path, its duration, "
                            "bit rate and picture size lines, and an empty line. A file that cannot be read is "
                            "reported on standard error with the reason, and the others are still probed.",
             .Options = {{"--thumbnail", "", "DIR",
                          "also save the picture from the middle of each video as DIR/NAME.png, NAME being the "
                          "file's name (NAME(1).png and so on when that name is taken, by an earlier file or in "
                          "the folder: nothing there is replaced); the folder is created when missing"}},
             .ExitStatuses = {{0, "every file was read (and every picture saved)"},
                              {1, "a file could not be read, a picture could not be made or saved, the folder "
                                  "could not be created, or the codec libraries could not be loaded"},
                              {ExitUsage, "no FILE, or an unknown option or a missing value"}}},
    .Run = RunProbe,
});
}  // namespace
