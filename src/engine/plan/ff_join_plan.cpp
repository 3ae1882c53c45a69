#include "ff_join_plan.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

// Codecs whose parameter sets can travel with the pictures: clips whose sets
// differ are copied all the same, each carrying its own.
bool InBandCapable(const std::string& codec) { return codec == "h264" || codec == "hevc"; }

bool SameRatio(TRatio a, TRatio b) {
    // An unknown sample aspect is a square one.
    if (a.Num <= 0 || a.Den <= 0) a = {1, 1};
    if (b.Num <= 0 || b.Den <= 0) b = {1, 1};
    return static_cast<int64_t>(a.Num) * b.Den == static_cast<int64_t>(b.Num) * a.Den;
}

// Rates within 1 % are one rate measured over different lengths.
bool SameRate(double a, double b) { return a > 0 && b > 0 ? std::fabs(a - b) <= 0.01 * b : a == b; }

bool Interlaced(int fieldOrder) { return fieldOrder > 1; }

bool SameCoding(const TStreamDesc& a, const TStreamDesc& b) {
    return a.Profile == b.Profile && a.PrivateData == b.PrivateData;
}

// The parameters a copy across a joint cannot change (parameter sets aside).
bool SameVideo(const TStreamDesc& a, const TStreamDesc& b) {
    if (a.Codec != b.Codec || a.Width != b.Width || a.Height != b.Height || a.PixelFormat != b.PixelFormat ||
        !SameRatio(a.SampleAspect, b.SampleAspect) || Interlaced(a.FieldOrder) != Interlaced(b.FieldOrder) ||
        !SameRate(a.FrameRate, b.FrameRate) || !(a.Shown == b.Shown) || a.NoTimestamps != b.NoTimestamps)
        return false;
    return InBandCapable(a.Codec) || SameCoding(a, b);
}

bool SameAudio(const TStreamDesc& a, const TStreamDesc& b) {
    return a.Codec == b.Codec && a.SampleRate == b.SampleRate && a.Channels == b.Channels && a.Layout == b.Layout &&
           a.SampleFormat == b.SampleFormat && SameCoding(a, b);
}

bool Same(const TStreamDesc& a, const TStreamDesc& b) {
    return a.Kind == skVideo ? SameVideo(a, b) : SameAudio(a, b);
}

std::string FileLabel(const TJoinPlan& plan, size_t file) {
    std::string label = "File (" + std::to_string(plan.Numbers[file]) + ") " + plan.Files[file];
    if (file < plan.Ranges.size() && !plan.Ranges[file].empty()) label += " (" + plan.Ranges[file] + ")";
    return label;
}

std::string RateText(double rate) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", rate);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s + " fps";
}

void ShownSize(const TStreamDesc& s, int& width, int& height) {
    width = s.Width;
    height = s.Height;
    if (s.Shown.QuarterTurns % 2) std::swap(width, height);
}

std::string SizeText(const TStreamDesc& s) {
    int w, h;
    ShownSize(s, w, h);
    return std::to_string(w) + "x" + std::to_string(h);
}

std::string ShownText(const TShownAs& shown) {
    static const char* const turns[4] = {"", "turned to the right", "upside down", "turned to the left"};
    std::string text = turns[shown.QuarterTurns & 3];
    if (shown.Mirrored) text += text.empty() ? "mirrored" : " and mirrored";
    return text.empty() ? "upright" : text;
}

// "it is 1280x720 at 25 fps": what makes the clip differ from the reference.
std::string VideoReason(const TStreamDesc& s, const TStreamDesc& r) {
    std::vector<std::string> parts;
    if (s.Codec != r.Codec) parts.push_back(CodecTitle(s.Codec));
    std::string size;
    int sw, sh, rw, rh;
    ShownSize(s, sw, sh);
    ShownSize(r, rw, rh);
    if (sw != rw || sh != rh) size = SizeText(s);
    if (!SameRate(s.FrameRate, r.FrameRate) && s.FrameRate > 0)
        size += (size.empty() ? "at " : " at ") + RateText(s.FrameRate);
    if (!size.empty()) parts.push_back(size);
    if (s.PixelFormat != r.PixelFormat) parts.push_back(s.PixelFormat);
    if (!SameRatio(s.SampleAspect, r.SampleAspect))
        parts.push_back("of sample aspect " + std::to_string(s.SampleAspect.Num) + ":" +
                        std::to_string(s.SampleAspect.Den));
    if (Interlaced(s.FieldOrder) != Interlaced(r.FieldOrder))
        parts.push_back(Interlaced(s.FieldOrder) ? "interlaced" : "progressive");
    if (!(s.Shown == r.Shown)) parts.push_back(ShownText(s.Shown));
    if (s.NoTimestamps && !r.NoTimestamps) parts.push_back("without timestamps");
    if (parts.empty()) return "it is coded with other settings";
    std::string text = "it is ";
    for (size_t i = 0; i < parts.size(); ++i) text += (i ? ", " : "") + parts[i];
    return text;
}

// "44100 Hz", "MP3", "mono": the first thing that makes the sound differ.
std::string AudioDifference(const TStreamDesc& s, const TStreamDesc& r) {
    if (s.Codec != r.Codec) return CodecTitle(s.Codec);
    if (s.SampleRate != r.SampleRate) return std::to_string(s.SampleRate) + " Hz";
    if (s.Channels != r.Channels || s.Layout != r.Layout) return s.Layout.empty() ? std::to_string(s.Channels) + " channels" : s.Layout;
    if (s.SampleFormat != r.SampleFormat) return s.SampleFormat;
    return "coded with other settings";
}

int64_t Weight(const TFileDesc& file, const TStreamDesc& s) {
    int64_t length = s.DurationUs > 0 ? s.DurationUs : std::max<int64_t>(file.DurationUs, 0);
    if (file.TrimEndUs >= 0) length = std::min(length, file.TrimEndUs);
    return std::max<int64_t>(length - std::max<int64_t>(file.TrimStartUs, 0), 0);
}

// The stream of the kind that each file gives the output (-1: none): its
// clip's pictures.
std::vector<int> FirstOfKind(const std::vector<TFileDesc>& files, TStreamKind kind) {
    std::vector<int> first;
    for (const TFileDesc& f : files) {
        int at = -1;
        int64_t weight = -1;
        for (size_t i = 0; i < f.Streams.size(); ++i) {
            const TStreamDesc& s = f.Streams[i];
            if (s.Kind != kind) continue;
            const int64_t w = kind == skVideo ? VideoStreamWeight(s.Frames, s.DurationUs, s.FrameRate, s.Width, s.Height) : 0;
            if (at < 0 || w > weight) {
                at = static_cast<int>(i);
                weight = w;
            }
        }
        first.push_back(at);
    }
    return first;
}

// Each file's n-th stream of the kind (-1: it has fewer), in the file's order.
std::vector<int> NthOfKind(const std::vector<TFileDesc>& files, TStreamKind kind, int n) {
    std::vector<int> nth;
    for (const TFileDesc& f : files) {
        int at = -1, seen = 0;
        for (size_t i = 0; i < f.Streams.size() && at < 0; ++i)
            if (f.Streams[i].Kind == kind && seen++ == n) at = static_cast<int>(i);
        nth.push_back(at);
    }
    return nth;
}

int MostOfKind(const std::vector<TFileDesc>& files, TStreamKind kind) {
    int most = 0;
    for (const TFileDesc& f : files)
        most = std::max(most, static_cast<int>(std::count_if(f.Streams.begin(), f.Streams.end(),
                                                             [kind](const TStreamDesc& s) { return s.Kind == kind; })));
    return most;
}

// "sound", or with several tracks "sound track 2 (fre)".
std::string SoundName(const TJoinPlan& plan, size_t stream) {
    int count = 0, number = 0;
    for (size_t i = 0; i < plan.Streams.size(); ++i)
        if (plan.Streams[i].Kind == skAudio) {
            ++count;
            if (i == stream) number = count;
        }
    if (count < 2) return "sound";
    const std::string& language = plan.Streams[stream].Reference.Language;
    return "sound track " + std::to_string(number) + (language.empty() ? "" : " (" + language + ")");
}

// The file whose stream parameters cover the longest total duration; ties go
// to the group met first.
int ChooseReference(const std::vector<TFileDesc>& files, const std::vector<int>& stream) {
    std::vector<int> leader;     // per group: its first file
    std::vector<int64_t> total;  // per group: its duration
    for (size_t f = 0; f < files.size(); ++f) {
        if (stream[f] < 0) continue;
        const TStreamDesc& s = files[f].Streams[static_cast<size_t>(stream[f])];
        size_t g = 0;
        while (g < leader.size() &&
               !Same(s, files[static_cast<size_t>(leader[g])].Streams[static_cast<size_t>(stream[leader[g]])]))
            ++g;
        if (g == leader.size()) {
            leader.push_back(static_cast<int>(f));
            total.push_back(0);
        }
        total[g] += Weight(files[f], s);
    }
    if (leader.empty()) return -1;
    size_t best = 0;
    for (size_t g = 1; g < leader.size(); ++g)
        if (total[g] > total[best]) best = g;
    return leader[best];
}

void PlanVideo(const std::vector<TFileDesc>& files, const TPlanFormat& format, TJoinPlan& plan) {
    const std::vector<int> stream = FirstOfKind(files, skVideo);
    const int ref = ChooseReference(files, stream);
    if (ref < 0 || format.SoundOnly) return;
    TPlanStream out;
    out.Kind = skVideo;
    out.ReferenceFile = ref;
    out.Reference = files[static_cast<size_t>(ref)].Streams[static_cast<size_t>(stream[static_cast<size_t>(ref)])];
    const TStreamDesc& r = out.Reference;
    const size_t index = plan.Streams.size();
    bool anyEncoded = false, anyInBand = false, anyCut = false;
    for (size_t f = 0; f < files.size(); ++f) {
        TPlanStep step;
        step.Stream = stream[f];
        if (stream[f] < 0) {
            step.Action = paFill;
            step.Reason = "it has no picture";
        } else {
            const TStreamDesc& s = files[f].Streams[static_cast<size_t>(stream[f])];
            if (!SameVideo(s, r)) {
                step.Action = paEncode;
                step.Reason = VideoReason(s, r);
            } else if (!SameCoding(s, r)) {
                step.Action = paCopyInBand;
            }
            step.SmartCut = step.Action != paEncode && files[f].Trimmed();
        }
        anyCut = anyCut || step.SmartCut;
        anyEncoded = anyEncoded || step.Action == paEncode || step.Action == paFill;
        anyInBand = anyInBand || step.Action == paCopyInBand;
        plan.Steps[f].push_back(step);
    }
    if (r.NoTimestamps) {
        out.Fallback = CodecTitle(r.Codec) + " without timestamps cannot be copied";
    } else if (format.Holds && !format.Holds(r.Codec)) {
        out.Fallback = CodecTitle(r.Codec) + " cannot be copied into " + format.Name;
    } else if (anyEncoded || anyCut) {
        out.Encoder = format.EncoderFor ? format.EncoderFor(r) : std::string();
        if (out.Encoder.empty()) out.Fallback = CodecTitle(r.Codec) + " " + r.PixelFormat + " cannot be re-encoded to match here";
    }
    if (!out.Fallback.empty()) {
        for (auto& steps : plan.Steps) steps[index] = {paEncode, steps[index].Stream, out.Fallback};
    } else if (InBandCapable(r.Codec) && (anyEncoded || anyInBand || anyCut)) {
        out.InBand = true;
        // A copied clip's own parameter sets take the numbers of the
        // reference's and would stand for them in the clips after it: once
        // any clip brings its own, every clip does. Re-encoded H.264 clips
        // number theirs apart and leave the others untouched.
        if (anyInBand || r.Codec != "h264")
            for (auto& steps : plan.Steps)
                if (steps[index].Action == paCopy) steps[index].Action = paCopyInBand;
    }
    plan.Streams.push_back(out);
}

// The sound track `track` (counting from 0): the files' track-th sound.
void PlanAudio(const std::vector<TFileDesc>& files, const TPlanFormat& format, TJoinPlan& plan, int track) {
    const std::vector<int> stream = NthOfKind(files, skAudio, track);
    const std::string missing = track == 0 ? "no sound" : "no sound track " + std::to_string(track + 1);
    const int ref = ChooseReference(files, stream);
    if (ref < 0) return;
    TPlanStream out;
    out.Kind = skAudio;
    out.ReferenceFile = ref;
    out.Reference = files[static_cast<size_t>(ref)].Streams[static_cast<size_t>(stream[static_cast<size_t>(ref)])];
    const TStreamDesc& r = out.Reference;
    const size_t index = plan.Streams.size();
    for (size_t f = 0; f < files.size(); ++f) {
        TPlanStep step;
        step.Stream = stream[f];
        if (stream[f] < 0) {
            step.Action = paFill;
            step.Reason = "it has " + missing;
            if (out.Reason.empty()) out.Reason = "File (" + std::to_string(plan.Numbers[f]) + ") has " + missing;
        } else if (const TStreamDesc& s = files[f].Streams[static_cast<size_t>(stream[f])]; !SameAudio(s, r)) {
            step.Action = paEncode;
            step.Reason = "it is " + AudioDifference(s, r);
            if (out.Reason.empty()) out.Reason = "File (" + std::to_string(plan.Numbers[f]) + ") is " + AudioDifference(s, r);
        }
        plan.Steps[f].push_back(step);
    }
    // Sound is cheap to encode, and one encoder keeps every joint sample-exact.
    out.Encoded = !out.Reason.empty();
    if (format.Holds && !format.Holds(r.Codec)) {
        out.Fallback = CodecTitle(r.Codec) + " cannot be copied into " + format.Name;
    } else if (out.Encoded) {
        out.Encoder = format.EncoderFor ? format.EncoderFor(r) : std::string();
        if (out.Encoder.empty()) out.Fallback = CodecTitle(r.Codec) + " cannot be encoded here";
    }
    if (!out.Fallback.empty()) out.Encoded = true;
    for (auto& steps : plan.Steps) {
        TPlanStep& step = steps[index];
        if (!out.Fallback.empty())
            step = {paEncode, step.Stream, out.Fallback};
        else if (out.Encoded && step.Action == paCopy)
            step = {paEncode, step.Stream, out.Reason};
    }
    plan.Streams.push_back(out);
}

std::string JoinParts(const std::vector<std::string>& parts) {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) text += (i ? ", " : "") + parts[i];
    return text;
}

std::string FallbackText(const TJoinPlan& plan, size_t stream, const std::string& fallbackTitle) {
    const TPlanStream& s = plan.Streams[stream];
    const std::string what = s.Kind == skVideo ? "picture" : SoundName(plan, stream);
    const std::string with = fallbackTitle.empty() ? "" : " with \"" + fallbackTitle + "\"";
    return what + " re-encoded" + with + " (" + s.Fallback + ")";
}

}  // namespace

int64_t VideoStreamWeight(int64_t frames, int64_t durationUs, double rate, int width, int height) {
    if (frames <= 0 && durationUs > 0 && rate > 0) frames = std::llround(static_cast<double>(durationUs) * rate / 1e6);
    constexpr int64_t kPixels = int64_t{1} << 28;
    const int64_t pixels = std::clamp<int64_t>(static_cast<int64_t>(width) * height, 0, kPixels - 1);
    return std::clamp<int64_t>(frames, 0, int64_t{1} << 34) * kPixels + pixels;
}

bool TJoinPlan::CopiesEverything() const {
    for (const auto& steps : Steps)
        for (const TPlanStep& step : steps)
            if (step.Action == paEncode || step.Action == paFill) return false;
    return true;
}

int TJoinPlan::StreamOf(TStreamKind kind) const {
    for (size_t i = 0; i < Streams.size(); ++i)
        if (Streams[i].Kind == kind) return static_cast<int>(i);
    return -1;
}

TJoinPlan MakeJoinPlan(const std::vector<TFileDesc>& files, const TPlanFormat& format) {
    TJoinPlan plan;
    for (const TFileDesc& f : files) {
        plan.Files.push_back(f.Name);
        plan.Numbers.push_back(f.Number > 0 ? f.Number : static_cast<int>(plan.Numbers.size()) + 1);
        plan.Ranges.push_back(f.Range);
    }
    plan.Steps.resize(files.size());
    PlanVideo(files, format, plan);
    const int tracks = format.EveryTrack ? std::max(MostOfKind(files, skAudio), 1) : 1;
    for (int track = 0; track < tracks; ++track) PlanAudio(files, format, plan, track);
    return plan;
}

std::string CodecTitle(const std::string& codec) {
    static const std::map<std::string, std::string> titles = {
        {"h264", "H.264"}, {"hevc", "H.265"},   {"av1", "AV1"},     {"vp9", "VP9"},       {"vp8", "VP8"},
        {"mpeg4", "MPEG-4"}, {"mpeg2video", "MPEG-2"}, {"mpeg1video", "MPEG-1"}, {"aac", "AAC"}, {"mp3", "MP3"},
        {"mp2", "MP2"},    {"opus", "Opus"},    {"vorbis", "Vorbis"}, {"flac", "FLAC"},   {"ac3", "AC-3"},
        {"eac3", "E-AC-3"}, {"alac", "ALAC"},   {"theora", "Theora"}, {"mjpeg", "Motion JPEG"}};
    if (const auto it = titles.find(codec); it != titles.end()) return it->second;
    if (codec.rfind("pcm_", 0) == 0) return "PCM";
    std::string upper = codec;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string StreamTitle(const TStreamDesc& s) {
    if (s.Kind == skVideo)
        return SizeText(s) + " " + CodecTitle(s.Codec) + (s.FrameRate > 0 ? " " + RateText(s.FrameRate) : "");
    std::string title = CodecTitle(s.Codec) + " " + std::to_string(s.SampleRate) + " Hz";
    return title + " " + (s.Layout.empty() ? std::to_string(s.Channels) + " channels" : s.Layout);
}

std::vector<std::string> PlanLines(const TJoinPlan& plan, const std::string& fallbackTitle) {
    std::vector<std::string> lines;
    for (size_t f = 0; f < plan.Files.size(); ++f) {
        std::vector<std::string> parts;
        bool inBand = false, reencoded = false, cut = false;
        std::string picture;
        for (size_t i = 0; i < plan.Streams.size(); ++i) {
            const TPlanStream& s = plan.Streams[i];
            const TPlanStep& step = plan.Steps[f][i];
            const bool video = s.Kind == skVideo;
            if (!s.Fallback.empty()) {
                parts.push_back(FallbackText(plan, i, fallbackTitle));
                reencoded = true;
            } else if (step.Action == paFill) {
                const std::string sound = SoundName(plan, i);
                const std::string silence = sound == "sound" ? "silence" : "silence on " + sound;
                parts.push_back((video ? "black picture" : silence) + " for its length (" + step.Reason + ")");
                reencoded = true;
            } else if (step.Action == paEncode) {
                parts.push_back((video ? "picture" : SoundName(plan, i)) + " re-encoded to " + StreamTitle(s.Reference) +
                                " (" + step.Reason + ")");
                reencoded = true;
            } else if (video) {
                inBand = step.Action == paCopyInBand;
                cut = step.SmartCut;
                picture = inBand ? "picture copied, parameter sets in-band" : "picture copied";
                if (cut) picture += ", pictures at the cuts re-encoded";
                parts.push_back(picture);
            }
        }
        std::string text;
        if (!reencoded)
            text = std::string(inBand ? "copy, parameter sets in-band" : "copy") +
                   (cut ? ", pictures at the cuts re-encoded" : "");
        else
            text = JoinParts(parts);
        lines.push_back(FileLabel(plan, f) + ": " + text);
    }
    return lines;
}

std::vector<std::string> ReencodeLines(const TJoinPlan& plan, const std::string& fallbackTitle) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < plan.Streams.size(); ++i) {
        const TPlanStream& s = plan.Streams[i];
        if (!s.Fallback.empty()) {
            lines.push_back("All files: " + FallbackText(plan, i, fallbackTitle));
            continue;
        }
        if (s.Kind == skAudio) {
            if (s.Encoded)
                lines.push_back("All files: " + SoundName(plan, i) + " re-encoded to " + StreamTitle(s.Reference) + " (" +
                                s.Reason + ")");
            continue;
        }
        for (size_t f = 0; f < plan.Files.size(); ++f) {
            const TPlanStep& step = plan.Steps[f][i];
            if (step.Action == paEncode)
                lines.push_back(FileLabel(plan, f) + ": picture re-encoded to " + StreamTitle(s.Reference) + " (" +
                                step.Reason + ")");
            else if (step.Action == paFill)
                lines.push_back(FileLabel(plan, f) + ": black picture for its length (" + step.Reason + ")");
        }
    }
    return lines;
}
