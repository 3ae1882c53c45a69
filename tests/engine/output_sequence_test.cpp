// The steps an output record becomes, in their order, without a task.
#include "ff_output_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {
// The steps as "name=value" (options), "text:..." and "target:kind/norm/fallback",
// "ss:", "t:", "timestamp:" with their numbers.
std::vector<std::string> Texts(const std::vector<TOutputStep>& steps) {
    std::vector<std::string> texts;
    for (const TOutputStep& s : steps) switch (s.Kind) {
            case TOutputStep::osSetOption: texts.push_back(s.Name + "=" + s.Value); break;
            case TOutputStep::osOptionText: texts.push_back("text:" + s.Value); break;
            case TOutputStep::osTarget: texts.push_back("target:" + s.Name + "/" + s.Value + "/" + s.Fallback); break;
            case TOutputStep::osStartTime: texts.push_back("ss:" + std::to_string(s.Number)); break;
            case TOutputStep::osRecordingTime: texts.push_back("t:" + std::to_string(s.Number)); break;
            case TOutputStep::osRecordingTimestamp: texts.push_back("timestamp:" + std::to_string(s.Number)); break;
        }
    return texts;
}

size_t Position(const std::vector<std::string>& texts, const std::string& text) {
    return static_cast<size_t>(std::find(texts.begin(), texts.end(), text) - texts.begin());
}
}  // namespace

TEST(OutputSequenceTest, TheStreamListTakesTheFirstLineOfEachName) {
    TOutputOptions o;
    InitOutputOptions(o);
    o.VideoCodec = "mpeg4";
    o.FrameSize = "320x240";
    o.ExtOptions = "vcodec=libx264\r\nvfilters=scale=160:120\r\nacodec=\r\nacodec=aac\r\nacodec=mp2\r\nvb=900k";
    const TStreamOptionList list = StreamOptionList(o);
    // The record's default stays where it is set; an empty one takes the first line.
    EXPECT_EQ(StreamOptionValue(list, "def_vcodec"), "mpeg4");
    EXPECT_EQ(StreamOptionValue(list, "def_acodec"), "aac");
    EXPECT_EQ(StreamOptionValue(list, "def_vf"), "scale=160:120");
    EXPECT_EQ(StreamOptionValue(list, "def_s"), "320x240");
    // Then the lines themselves, in order; empty values and other names are left out.
    const TStreamOptionList tail(list.begin() + 8, list.end());
    EXPECT_EQ(tail, (TStreamOptionList{{"vcodec", "libx264"}, {"vf", "scale=160:120"}, {"acodec", "aac"},
                                       {"acodec", "mp2"}}));
}

TEST(OutputSequenceTest, TheRecordIsAppliedInItsOrder) {
    TOutputOptions o;
    InitOutputOptions(o);
    o.AudioCodec = "mp2";
    o.VideoPreset = "fast";
    o.AudioBitrate = 128000;
    o.VideoBitrate = 800000;
    o.FrameRate = "25";
    o.StartTime = 1500000;
    o.Metadata.TimeStamp = 0;
    o.Metadata.Title = "Holiday";
    o.Metadata.Year = 2009;
    o.ExtOptions = "vf=hflip";
    const TStreamOptionList list = StreamOptionList(o);
    std::vector<std::string> steps = Texts(OutputOptionSteps(o, list, 1234567));
    const std::vector<std::string> expected = {"acodec=mp2", "vpre=fast", "text:vf=hflip", "ab=128000", "alang=",
                                               "async=0", "r=25", "vb=800000", "vsync=-1", "vlang=", "slang=",
                                               "isync=0", "ss:1500000", "timestamp:1234567", "metadata=year=2009",
                                               "metadata=title=Holiday", "s=", "vf=hflip"};
    EXPECT_EQ(steps, expected);

    // A disc target comes first and keeps its own bit rates; the record's
    // fallback norm is the target's.
    o.Target = 3;
    o.TargetNorm = 2;
    o.TargetNormDefault = 2;
    o.Metadata.TimeStamp = -1;
    steps = Texts(OutputOptionSteps(o, list, 0));
    EXPECT_EQ(steps.front(), "target:dvd/ntsc/ntsc");
    EXPECT_EQ(Position(steps, "ab=128000"), steps.size());
    EXPECT_EQ(Position(steps, "vb=800000"), steps.size());
    EXPECT_EQ(Position(steps, "timestamp:0"), steps.size());
}

TEST(OutputSequenceTest, NewStreamsTakeTheirOwnSettingsFromTheList) {
    TOutputOptions o;
    InitOutputOptions(o);
    o.AudioCodec = "mp2";
    o.VideoCodec = "mpeg4";
    o.ExtOptions = "acodec=aac\nnewaudio=\nnewaudio=\nvpre=slow\nnewvideo=1";
    TStreamOptionList list = StreamOptionList(o);
    const auto steps = NewStreamSteps(o.ExtOptions, list);
    const std::vector<std::pair<std::string, std::string>> expected = {
        // The first new sound stream takes the listed codec, the second the default.
        {"acodec", "aac"}, {"apre", ""}, {"newaudio", ""}, {"acodec", "mp2"}, {"apre", ""}, {"newaudio", ""},
        {"vcodec", "mpeg4"}, {"vpre", "slow"}, {"s", ""}, {"vf", ""}, {"newvideo", "1"}};
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(StreamOptionValue(list, "acodec"), "");
}
