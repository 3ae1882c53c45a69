#include "global_vars.h"

uint8_t TGlobalVars::CurrentFormatCode() const {
    switch (OutputFormatClass) {
        case fcVideo: return OutputVideoFormat;
        case fcDevice: return OutputDeviceFormat;
        case fcAudio: return OutputAudioFormat;
        default: return 0xFF;
    }
}

void SetDefaultSettings(TGlobalVars& g) {
    for (const auto& f : AllFormats()) g.OutputPreset[f.Id.Class][f.Id.Code] = f.DefaultPreset;
    g.PlayASoundWhenFinished = false;
    g.ShutDownWhenFinished = false;
    g.PreferYouTubeQuality = true;
    g.PreferYouTube = {1, 2, 3, 0, 4, 5, 6, 7};
}
