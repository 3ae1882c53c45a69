// The input list's plain rules: accepted extensions, the dialog filter, the
// description lines, the job's values, the shortened name and the buttons.
#include "ff_decoder.h"
#include "input_row.h"
#include "input_selection.h"
#include "media_files.h"

#include <gtest/gtest.h>

namespace {

TEST(MediaFiles, TheDialogsFortyThreeExtensionsInAnyCase) {
    const char* accepted[] = {".mp3", ".aac", ".wav", ".wma", ".cda", ".flac", ".m4a", ".mid", ".mka", ".mp2", ".mpa",
                              ".mpc", ".ape", ".ofr", ".ogg", ".ra",   ".wv",   ".tta", ".ac3", ".dts", ".avi", ".avm",
                              ".asf", ".wmv", ".avs", ".flv", ".mkv",  ".mov",  ".3gp", ".mp4", ".mpg", ".dat", ".ogm",
                              ".vob", ".rm",  ".rmvb", ".ts", ".tp",   ".ifo",  ".nsv", ".swf", ".mpeg", ".webm"};
    for (const char* e : accepted) EXPECT_TRUE(IsMediaExtension(e)) << e;
    EXPECT_TRUE(IsMediaExtension(".MP4"));
    EXPECT_TRUE(IsMediaExtension(".Mkv"));
    for (const char* e : {"mp4", "", ".", ".mp44", ".txt"}) EXPECT_FALSE(IsMediaExtension(e)) << e;
}

TEST(MediaFiles, DialogFilterHasFourEntriesEachEndingWithASemicolon) {
    const std::string video =
        "*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*.VOB;*.RM;*.RMVB;*.TS;"
        "*.TP;*.IFO;*.NSV;*.SWF;*.WEBM;";
    const std::string audio =
        "*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;"
        "*.AC3;*.DTS;";
    EXPECT_EQ(OpenDialogFilterText(), "All Supported Formats|" + video + audio + "|All Video Formats (all types)|" +
                                          video + "|All Audio Formats (all types)|" + audio + "|All Files|*.*");
}

TEST(InputRow, VideoAndAudioWording) {
    TFileStreamInfo file;
    file.Duration = 3723004000;  // 1:02:03.004, longer than 2^31 microseconds
    TVideoStreamInfo video;
    video.BitRate = 127999;
    video.Width = 1920;
    video.Height = 1080;
    video.DisplayAspectRatio = 16.0f / 9.0f;
    TAudioStreamInfo audio;
    audio.BitRate = 192000;
    audio.CodecName = "mp3float(MP3 (MPEG audio layer 3))";

    const TInputRow v = MakeInputRow("/m/a.avi", file, true, video, audio);
    EXPECT_EQ(v.DurationLine, "Duration: 01:02:03.004");
    EXPECT_EQ(v.BitrateLine, "Bit rate: 127 Kbps");
    EXPECT_EQ(v.DimensionLine, "Dimension: 1920 x 1080");
    EXPECT_EQ(v.RealDuration, 3723004000);
    EXPECT_EQ(v.Width, 1920);
    EXPECT_FLOAT_EQ(v.AspectRatio, 16.0f / 9.0f);

    // Without video: the audio stream's wording and the video fields' resets.
    const TInputRow a = MakeInputRow("/m/b.mp3", file, false, TVideoStreamInfo{}, audio);
    EXPECT_EQ(a.BitrateLine, "Audio Bit rate: 192 Kbps");
    EXPECT_EQ(a.DimensionLine, "Audio Encoder: mp3float(MP3 (MPEG audio layer 3))");
    EXPECT_EQ(a.Width, -1);
    EXPECT_EQ(a.Height, -1);
    EXPECT_FLOAT_EQ(a.AspectRatio, -1.0f);

    // Unknown duration and bit rate.
    file.Duration = -1;
    video.BitRate = 0;
    const TInputRow u = MakeInputRow("/m/c.ts", file, true, video, audio);
    EXPECT_EQ(u.DurationLine, "Duration: Duration is not preseted");
    EXPECT_EQ(u.BitrateLine, "Bit rate: Bit rate is not preseted");
    EXPECT_EQ(u.JobInput().Duration, 0);
    EXPECT_EQ(BitRateText(-1), "Bit rate is not preseted");
    EXPECT_EQ(BitRateText(1), "0 Kbps");
    // Track counts only for several sound tracks or any subtitles.
    EXPECT_EQ(TracksText(1, 0), "");
    EXPECT_EQ(TracksText(2, 1), "Tracks: 2 sound tracks, 1 subtitle track");
    EXPECT_EQ(TracksText(0, 2), "Tracks: 2 subtitle tracks");
}

TEST(InputRow, TheJobInputCarriesTheProbedValues) {
    TFileStreamInfo file;
    file.Duration = 5000000000;
    TVideoStreamInfo video;
    video.Width = 720;
    video.Height = 576;
    video.DisplayAspectRatio = 16.0f / 9.0f;
    const TJobInput in = MakeInputRow("/m/a.avi", file, true, video, TAudioStreamInfo{}).JobInput();
    EXPECT_EQ(in.FullName, "/m/a.avi");
    EXPECT_EQ(in.Duration, 5000000000);
    EXPECT_EQ(in.Width, 720);
    EXPECT_EQ(in.Height, 576);
    EXPECT_EQ(in.AspectRatio, 16.0f / 9.0f);  // every bit of the float

    // A file the probe knew nothing about reads as one.
    file.Duration = -5;
    const TJobInput empty = MakeInputRow("x", file, false, TVideoStreamInfo{}, TAudioStreamInfo{}).JobInput();
    EXPECT_EQ(empty.Duration, 0);
    EXPECT_EQ(empty.Width, -1);
    EXPECT_EQ(empty.Height, -1);
    EXPECT_EQ(empty.AspectRatio, -1.0f);
}

TEST(InputRow, ShortenedPathDropsLeadingFoldersThenCutsTheName) {
    // One unit per byte.
    auto bytes = [](std::string_view s) { return static_cast<int>(s.size()); };
    const std::string path = "/home/user/videos/holiday.avi";
    EXPECT_EQ(ShortenPath(path, 100, bytes), path);
    EXPECT_EQ(ShortenPath(path, static_cast<int>(path.size()), bytes), path);
    EXPECT_EQ(ShortenPath(path, 28, bytes), "/.../user/videos/holiday.avi");
    EXPECT_EQ(ShortenPath(path, 23, bytes), "/.../videos/holiday.avi");
    EXPECT_EQ(ShortenPath(path, 16, bytes), "/.../holiday.avi");
    EXPECT_EQ(ShortenPath(path, 12, bytes), "/.../holi...");
    EXPECT_EQ(ShortenPath("holiday.avi", 8, bytes), "holid...");
    // A cut never splits a character: "é" is two bytes.
    EXPECT_EQ(ShortenPath("/a/ééé.avi", 11, bytes), "/.../é...");
    EXPECT_EQ(ShortenPath(path, 0, bytes), "/.../...");
}

TEST(InputSelection, ButtonsFollowTheRowsAndTheSelection) {
    auto states = [](int count, int selected) {
        const TInputActionStates s = InputActionStates(count, selected);
        return std::string() + (s.Delete ? "D" : "-") + (s.Clear ? "C" : "-") + (s.MoveUp ? "U" : "-") +
               (s.MoveDown ? "O" : "-") + (s.Play ? "P" : "-");
    };
    EXPECT_EQ(states(0, -1), "-----");
    EXPECT_EQ(states(3, -1), "-C---");
    EXPECT_EQ(states(3, 0), "DC-OP");
    EXPECT_EQ(states(3, 1), "DCUOP");
    EXPECT_EQ(states(3, 2), "DCU-P");
    EXPECT_EQ(states(1, 0), "DC--P");
    EXPECT_EQ(states(2, 5), "-C---");

    EXPECT_EQ(SelectionAfterDelete(3, 0), 0);
    EXPECT_EQ(SelectionAfterDelete(3, 1), 1);
    EXPECT_EQ(SelectionAfterDelete(3, 2), 1);  // the last row: the new last row
    EXPECT_EQ(SelectionAfterDelete(1, 0), -1);
    EXPECT_EQ(SelectionAfterDelete(3, -1), -1);

    EXPECT_EQ(MoveUpTarget(3, 0), -1);
    EXPECT_EQ(MoveUpTarget(3, 2), 1);
    EXPECT_EQ(MoveDownTarget(3, 2), -1);
    EXPECT_EQ(MoveDownTarget(3, 0), 1);
    EXPECT_EQ(MoveDownTarget(3, -1), -1);
}

}  // namespace
