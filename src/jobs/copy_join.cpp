#include "copy_join.h"

#include "catalogue.h"
#include "ff_copy_check.h"
#include "product_config.h"
#include "job_builder.h"
#include "preset_params.h"

TCopyJoinCheck CheckCopyJoin(const TProductConfig& config, const TUserSettings& settings,
                             const std::vector<std::string>& files) {
    TCopyJoinCheck check;
    const TPresetRef preset = CurrentPreset(settings);
    if (!config.MergeMode || !IsSameAsSource(preset) || files.size() < 2) return check;
    check.Instead = HighQualityPreset(preset.Format);
    check.InsteadCaption = std::string(PresetCaption({preset.Format, check.Instead}));
    // An audio format takes the sound only.
    const bool soundOnly = preset.Format.Class == fcAudio;
    std::vector<TCopyFileDesc> described;
    for (const std::string& file : files) {
        TCopyFileDesc desc;
        std::string error;
        if (!DescribeCopyStreams(file, desc, error)) {
            check.Lines.push_back(desc.Name + ": cannot be read (" + error + ")");
            continue;
        }
        if (soundOnly)
            std::erase_if(desc.Streams, [](const TCopyStreamDesc& s) { return s.Kind != skAudio; });
        described.push_back(std::move(desc));
    }
    const TPresetParams* params = FindPresetParams(preset.Format.Class, preset.Format.Code, preset.Index);
    const std::string formatFile = std::string(JoinOutputName) + OutputExtension(settings);
    const std::string formatName = params && params->FileFormat ? params->FileFormat : "";
    const std::string shownName = std::string(FindCatalogueFormat(preset.Format.Class, preset.Format.Code)->Format->Name);
    const auto holds = [&](const std::string& codec) { return OutputFormatHolds(formatFile, formatName, codec); };
    for (std::string& line : CheckCopyJoin(described, holds, shownName)) check.Lines.push_back(std::move(line));
    return check;
}

std::string CopyJoinQuestion(const TCopyJoinCheck& check) {
    std::string text = "These files cannot be joined without re-encoding:\r\n";
    for (const std::string& line : check.Lines) text += "\r\n" + line;
    text += "\r\n\r\nJoin them with \"" + check.InsteadCaption + "\" instead, or go back?";
    return text;
}
