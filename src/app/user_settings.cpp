#include "user_settings.h"

uint8_t TUserSettings::CurrentFormatCode() const {
    switch (OutputFormatClass) {
        case fcVideo: return OutputVideoFormat;
        case fcDevice: return OutputDeviceFormat;
        case fcAudio: return OutputAudioFormat;
        default: return 0xFF;
    }
}

void TUserSettings::ChooseFormat(TFormatCode format) {
    OutputFormatClass = format.Class;
    switch (format.Class) {
        case fcVideo: OutputVideoFormat = format.Code; break;
        case fcDevice: OutputDeviceFormat = format.Code; break;
        case fcAudio: OutputAudioFormat = format.Code; break;
        default: break;
    }
}

void SetDefaultSettings(TUserSettings& s) {
    for (const auto& f : AllFormats()) s.OutputPreset[f.Id.Class][f.Id.Code] = f.DefaultPreset;
    s.PlayASoundWhenFinished = false;
    s.ShutDownWhenFinished = false;
    s.PreferYouTubeQuality = true;
    // A first start prefers the best quality the page offers (the dialog's
    // "Best Available" order); stored orders are kept as they are.
    s.PreferYouTube = {7, 3, 2, 1, 0, 6, 4, 5};
}
