#include "ff_targets.h"

#include "ff_exception.h"
#include "ff_logger.h"
#include "ff_options.h"

#include <cmath>

namespace {
enum TNorm { nmUnknown, nmPal, nmNtsc, nmFilm };

// PAL for 25 frames per second, NTSC for 29.97 and 23.976.
TNorm NormOfRate(AVRational rate) {
    if (rate.den == 0) return nmUnknown;
    const long fr = std::lround(1000.0 * rate.num / rate.den);
    if (fr == 25000) return nmPal;
    if (fr == 29970 || fr == 23976) return nmNtsc;
    return nmUnknown;
}

TNorm DecideNorm(TOptionState& st, IOptionHost& host, const std::string& norm, const std::string& fallback) {
    if (norm == "pal") return nmPal;
    if (norm == "ntsc") return nmNtsc;
    if (norm == "film") return nmFilm;
    if (st.FrameRate.den == 0) throw FFmpegException("frame_rate is invalid.");
    TNorm n = NormOfRate(st.FrameRate);
    if (n == nmUnknown)
        for (AVRational r : host.InputVideoFrameRates())
            if ((n = NormOfRate(r)) != nmUnknown) break;
    if (n != nmUnknown) {
        if (st.Verbosity > 0)
            FFLogger().Log(nullptr, llVerbose,
                           FormatText("Assuming %s for target.", n == nmPal ? "PAL" : "NTSC"));
        return n;
    }
    if (fallback == "film") return nmFilm;
    if (fallback == "ntsc") return nmNtsc;
    return nmPal;
}
}  // namespace

void ApplyTarget(TOptionState& st, IOptionHost& host, const std::string& kind, const std::string& norm,
                 const std::string& fallback) {
    const bool vcd = kind == "vcd", svcd = kind == "svcd", dvd = kind == "dvd";
    const bool dv = kind == "dv" || kind == "dv50";
    if (!vcd && !svcd && !dvd && !dv) throw FFmpegException("Unknown target type");

    const TNorm n = DecideNorm(st, host, norm, fallback);
    const bool pal = n == nmPal;
    const char* rate = n == nmPal ? "25" : n == nmNtsc ? "30000/1001" : "24000/1001";
    auto set = [&](const char* name, const std::string& value) { SetOption(st, host, name, value); };

    if (dv) {
        set("f", "dv");
        set("s", pal ? "720x576" : "720x480");
        set("pix_fmt", kind == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        set("r", rate);
        st.AudioSampleRate = 48000;
        st.AudioChannels = 2;
        return;
    }

    set("vcodec", vcd ? "mpeg1video" : "mpeg2video");
    set("acodec", dvd ? "ac3" : "mp2");
    set("f", kind);
    set("s", vcd ? (pal ? "352x288" : "352x240") : svcd ? (pal ? "480x576" : "480x480") : (pal ? "720x576" : "720x480"));
    set("r", rate);
    set("g", pal ? "15" : "18");
    if (vcd) {
        set("b", "1150000");
        set("maxrate", "1150000");
        set("minrate", "1150000");
        set("bufsize", "327680");  // 40 * 1024 * 8
        set("ab", "224000");
        st.AudioSampleRate = 44100;
        st.AudioChannels = 2;
        set("packetsize", "2324");
        set("muxrate", "1411200");  // 2352 * 75 * 8
        // The SCR starts at 36000 and the first packs hold padding.
        st.MuxPreload = (36000 + 3 * 1200) / 90000.0f;
    } else if (svcd) {
        set("b", "2040000");
        set("maxrate", "2516000");
        set("minrate", "0");
        set("bufsize", "1835008");  // 224 * 1024 * 8
        set("flags", "+scan_offset");
        set("ab", "224000");
        st.AudioSampleRate = 44100;
        set("packetsize", "2324");
        if (st.AudioChannels == 1) st.AudioChannels = 2;
    } else {
        set("b", "6000000");
        set("maxrate", "9000000");
        set("minrate", "0");
        set("bufsize", "1835008");
        set("packetsize", "2048");  // one DVD sector per pack
        set("muxrate", "10080000");
        set("ab", "448000");
        st.AudioSampleRate = 48000;
        if (st.AudioChannels == 1) st.AudioChannels = 2;
    }
    if (st.FrameAspectRatio == 0.0) {
        FFLogger().Log(nullptr, llInfo, dvd ? "Assuming 16:9 for aspect ratio" : "Assuming 4:3 for aspect ratio");
        set("aspect", dvd ? "16:9" : "4:3");
    }
}
