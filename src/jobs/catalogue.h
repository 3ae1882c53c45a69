#pragma once
// The catalogue of output formats and their presets: per format its class and
// code (format_codes.h), output extension, the name of its preset list and the
// preset captions in list order. A preset is addressed by (format, index); the
// encoding parameters behind each preset live beside this table.
#include "format_codes.h"
#include "user_settings.h"

#include <array>
#include <span>
#include <string>
#include <string_view>

struct TCatalogueFormat {
    const TFormatId* Format;                     // class, code, name, settings key, default preset
    std::string_view Extension;                  // ".avi", ".mpg", every device ".mp4"
    std::string_view PresetListName;             // "ImageComboBoxAVIPresets"
    std::span<const std::string_view> Presets;   // the captions, exactly as shown
};

struct TPresetRef {
    TFormatCode Format;
    int Index = 0;
    friend bool operator==(const TPresetRef&, const TPresetRef&) = default;
};

// 180 presets of the first catalogue, 13 appended to its lists and the 8 of
// MKV and WebM.
inline constexpr int PresetTotal = 201;

// The 27 formats in button order (Video, Device, Audio), as AllFormats().
const std::array<TCatalogueFormat, FormatCount>& Catalogue();
// The format's entry; nullptr for a class or code outside the catalogue.
const TCatalogueFormat* FindCatalogueFormat(int formatClass, int code);
// Number of presets of a format; 0 outside the catalogue.
int PresetCount(TFormatCode format);
// The caption of a preset; empty for a format or index outside the catalogue.
std::string_view PresetCaption(const TPresetRef& preset);
// The preset the current choice of g names: class, that class's format and its
// stored index. Index may be outside the list (no selection stored as -1).
TPresetRef CurrentPreset(const TUserSettings& settings);
// The format's "Same as source - no re-encoding" preset (every stream copied),
// -1 when it has none.
int SameAsSourcePreset(TFormatCode format);
bool IsSameAsSource(const TPresetRef& preset);
// What a join takes instead when its inputs cannot be copied into one file:
// "Original Size - High Quality" where the format has it, else the format's
// best-quality preset that keeps the picture's size; -1 outside the catalogue.
int HighQualityPreset(TFormatCode format);

// The extension of the current choice; empty for a class or format code
// outside the catalogue.
std::string OutputExtension(const TUserSettings& settings);
