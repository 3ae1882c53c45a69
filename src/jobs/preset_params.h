#pragma once
// The encoding parameters behind every preset of the catalogue, keyed by
// format class, format code and preset index, and ApplyPreset, which writes the
// current choice into a freshly reset output record.
#include <cstdint>
#include <optional>
#include <span>

struct TUserSettings;
struct TOutputOptions;

// A field a preset does not write.
inline constexpr int32_t PresetNotWritten = INT32_MIN;

// One preset's fields; nullptr and PresetNotWritten mark fields it leaves alone.
struct TPresetParams {
    const char* FileFormat = nullptr;
    const char* VideoCodec = nullptr;
    const char* VideoTag = nullptr;
    const char* VideoPreset = nullptr;
    int32_t VideoBitrate = PresetNotWritten;
    int32_t VideoMaxRate = PresetNotWritten;
    int32_t VideoMinRate = PresetNotWritten;
    int32_t VideoBufferSize = PresetNotWritten;
    const char* FrameSize = nullptr;
    const char* FrameRate = nullptr;
    const char* FrameAspectRatio = nullptr;
    int32_t Target = PresetNotWritten;
    int32_t TargetNorm = PresetNotWritten;
    const char* AudioCodec = nullptr;
    int32_t AudioBitrate = PresetNotWritten;
    int32_t AudioSampleRate = PresetNotWritten;
    int32_t AudioChannels = PresetNotWritten;
    const char* ExtOptions = nullptr;

    constexpr TPresetParams Rates(int32_t maxRate, int32_t minRate, int32_t bufferSize) const {
        TPresetParams p = *this;
        p.VideoMaxRate = maxRate;
        p.VideoMinRate = minRate;
        p.VideoBufferSize = bufferSize;
        return p;
    }
    constexpr TPresetParams TargetOf(int32_t target, int32_t norm) const {
        TPresetParams p = *this;
        p.Target = target;
        p.TargetNorm = norm;
        return p;
    }
    constexpr TPresetParams Ext(const char* options) const {
        TPresetParams p = *this;
        p.ExtOptions = options;
        return p;
    }
    constexpr TPresetParams Format(const char* fileFormat) const {
        TPresetParams p = *this;
        p.FileFormat = fileFormat;
        return p;
    }
};

// The option texts several presets share.
extern const char* const X264DeviceOptions;
extern const char* const X264PSPOptions;

// The fields every preset of the format writes, also for an index with no row;
// nullptr for a class or code outside the catalogue.
const TPresetParams* PresetCommonParams(int formatClass, int code);
// The rows of a format in preset order; empty outside the catalogue.
std::span<const TPresetParams> PresetRows(int formatClass, int code);
// One row; nullptr for an index without a row.
const TPresetParams* FindPresetParams(int formatClass, int code, int index);

// Writes the fields of the current choice (class, its format, that format's
// preset index) into Options, which the caller has just reset. Per-file mode
// passes the probed audio bit rate of the input (negative: none); join mode
// passes nothing. It only tells WMA preset 4, the lossless one, what to keep.
// presetIndex, when given, stands for the format's stored index (a run that
// re-encodes instead of copying).
void ApplyPreset(const TUserSettings& settings, TOutputOptions& Options,
                 std::optional<int32_t> inputAudioBitrate = std::nullopt,
                 std::optional<int32_t> presetIndex = std::nullopt);
// Writes the set fields of one parameter set.
void ApplyPresetParams(const TPresetParams& params, TOutputOptions& Options);
