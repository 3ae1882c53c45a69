// Which kinds of streams an output gets and which input stream feeds each
// output stream, decided from descriptions alone.
#include "ff_exception.h"
#include "ff_stream_map.h"

#include <gtest/gtest.h>

namespace {
constexpr AVMediaType V = AVMEDIA_TYPE_VIDEO, A = AVMEDIA_TYPE_AUDIO, S = AVMEDIA_TYPE_SUBTITLE;

TInputStreamDesc Stream(int file, int index, AVMediaType kind, int64_t weight = 1, bool readable = true,
                        bool inProgram = true) {
    return {file, index, kind, readable, weight, inProgram};
}

std::string Refusal(const std::function<void()>& call) {
    try {
        call();
    } catch (const FFmpegException& e) {
        return e.what();
    }
    return "";
}

// Sources of one slot as "source/sync" pairs.
std::vector<std::pair<int, int>> Pairs(const std::vector<TStreamSource>& slot) {
    std::vector<std::pair<int, int>> pairs;
    for (const TStreamSource& s : slot) pairs.emplace_back(s.Source, s.Sync);
    return pairs;
}
}  // namespace

TEST(StreamKindsTest, FormatSettingsAndInputsDecide) {
    TOutputKindRequest mp4;
    mp4.Format = {true, true, false};
    const TStreamKinds video{true, false, false}, sound{false, true, false}, both{true, true, true};
    // Without inputs the request alone decides.
    TStreamKinds k = ChooseStreamKinds(mp4, {});
    EXPECT_TRUE(k.Video && k.Audio && !k.Subtitle);
    // Every kind some input has is kept, whatever the order of the inputs.
    k = ChooseStreamKinds(mp4, {video, sound});
    EXPECT_TRUE(k.Video && k.Audio);
    k = ChooseStreamKinds(mp4, {sound, video, video});
    EXPECT_TRUE(k.Video && k.Audio);
    k = ChooseStreamKinds(mp4, {video, video});
    EXPECT_TRUE(k.Video && !k.Audio);
    // A named encoder asks for a kind the format has no default for; "an" removes one.
    TOutputKindRequest named = mp4;
    named.Named.Subtitle = true;
    named.Disabled.Audio = true;
    k = ChooseStreamKinds(named, {both});
    EXPECT_TRUE(k.Video && !k.Audio && k.Subtitle);
    // A format that keeps every track gets as many as the input with the
    // most; others one of each.
    TStreamKinds tracks = both;
    tracks.Sounds = 3;
    tracks.Subtitles = 2;
    TOutputKindRequest mkv = named;
    mkv.Disabled.Audio = false;
    k = ChooseStreamKinds(mkv, {video, tracks});
    EXPECT_EQ(std::make_pair(k.Sounds, k.Subtitles), std::make_pair(1, 1));
    mkv.EveryTrack = true;
    k = ChooseStreamKinds(mkv, {video, tracks});
    EXPECT_EQ(std::make_pair(k.Sounds, k.Subtitles), std::make_pair(3, 2));
}

TEST(StreamMapTest, SubtitlesAreCopiedWhereEveryClipCanBe) {
    const auto held = [](const std::string& codec) { return codec != "webvtt"; };
    const TSubtitleSource srt{"subrip", false, {}}, ass{"ass", false, {1}}, pgs{"hdmv_pgs_subtitle", true, {}}, none;
    // Clips without subtitles between do not stop a copy.
    TSubtitleChoice c = ChooseSubtitles({srt, none, srt}, held);
    EXPECT_TRUE(c.Copy);
    EXPECT_EQ(c.Left, (std::vector<bool>{false, false, false}));
    // Other codecs, other styles or a codec the format lacks: made anew as text.
    EXPECT_FALSE(ChooseSubtitles({srt, ass}, held).Copy);
    EXPECT_FALSE(ChooseSubtitles({ass, {"ass", false, {2}}}, held).Copy);
    EXPECT_FALSE(ChooseSubtitles({{"webvtt", false, {}}}, held).Copy);
    EXPECT_FALSE(ChooseSubtitles({none, none}, held).Copy);
    // Picture subtitles are copied when they can be, else left out.
    EXPECT_TRUE(ChooseSubtitles({pgs, none, pgs}, held).Copy);
    c = ChooseSubtitles({pgs, srt}, held);
    EXPECT_FALSE(c.Copy);
    EXPECT_EQ(c.Left, (std::vector<bool>{true, false}));
}

TEST(StreamMapTest, EachStreamTakesTheBiggestUnusedOfItsKind) {
    const std::vector<TInputStreamDesc> inputs = {Stream(0, 0, A, 2),      Stream(0, 1, V, 320 * 240),
                                                  Stream(1, 0, V, 640 * 480), Stream(1, 1, A, 6),
                                                  Stream(1, 2, V, 99999999, false)};
    auto sources = MapStreams(inputs, {{V, A}, {V, A}}, {}, false, false);
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(Pairs(sources[0]), (std::vector<std::pair<int, int>>{{2, 2}, {3, 3}}));
    EXPECT_EQ(Pairs(sources[1]), (std::vector<std::pair<int, int>>{{1, 1}, {0, 0}}));
    // With every stream of a kind used, the first readable one is taken again.
    sources = MapStreams(inputs, {{V}, {V}, {V}}, {}, false, false);
    EXPECT_EQ(sources[2][0].Source, 1);
    // A program restricts the choice and takes nothing twice.
    std::vector<TInputStreamDesc> program = inputs;
    program[2].InProgram = false;
    sources = MapStreams(program, {{V}}, {}, true, false);
    EXPECT_EQ(sources[0][0].Source, 1);
    EXPECT_EQ(Refusal([&] { MapStreams(program, {{V}, {V}}, {}, true, false); }),
              "Could not find input stream matching output stream #1.0 (Video)");
    EXPECT_EQ(Refusal([&] { MapStreams({Stream(0, 0, A)}, {{V}}, {}, false, false); }),
              "Could not find input stream matching output stream #0.0 (Video)");
    EXPECT_EQ(Refusal([&] { MapStreams(inputs, {{V}, {}}, {}, false, false); }),
              "Output file #1 does not contain any stream");
}

TEST(StreamMapTest, AJoinTakesEachInputsOwnStreams) {
    // The second input has no sound: its part of the sound track stays
    // without a source (the joint fills it).
    const std::vector<TInputStreamDesc> inputs = {Stream(0, 0, V), Stream(0, 1, A), Stream(1, 0, V),
                                                  Stream(2, 0, A), Stream(2, 1, V)};
    const auto sources = MapStreams(inputs, {{V, A}, {V, A}, {V, A}}, {}, false, true);
    EXPECT_EQ(Pairs(sources[0]), (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}}));
    EXPECT_EQ(Pairs(sources[1]), (std::vector<std::pair<int, int>>{{2, 2}, {-1, -1}}));
    EXPECT_EQ(Pairs(sources[2]), (std::vector<std::pair<int, int>>{{4, 4}, {3, 3}}));
    // Sound tracks keep the input's order, as the join plan counts them,
    // not the most channels first.
    const auto tracks = MapStreams({Stream(0, 0, A, 2), Stream(0, 1, A, 6)}, {{A, A}}, {}, false, true);
    EXPECT_EQ(Pairs(tracks[0]), (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}}));
    // A join's slots all belong to output #0.
    EXPECT_EQ(Refusal([&] { MapStreams(inputs, {{V}, {}}, {}, false, true); }),
              "Output file #0 does not contain any stream");
}

TEST(StreamMapTest, StreamMapsNameTheSources) {
    const std::vector<TInputStreamDesc> inputs = {Stream(0, 0, V), Stream(0, 1, A), Stream(1, 0, V), Stream(1, 1, A)};
    // "map=1.1:0.0" and "map=0.0": the sync stream may differ from the source.
    const std::vector<TStreamMap> maps = {{1, 1, 0, 0}, {0, 0, 0, 0}};
    auto sources = MapStreams(inputs, {{A, V}}, maps, false, false);
    EXPECT_EQ(Pairs(sources[0]), (std::vector<std::pair<int, int>>{{3, 0}, {0, 0}}));
    // In a join every input follows the same maps, with its own file number.
    sources = MapStreams(inputs, {{A, V}, {A, V}}, maps, false, true);
    EXPECT_EQ(Pairs(sources[0]), (std::vector<std::pair<int, int>>{{1, 0}, {0, 0}}));
    EXPECT_EQ(Pairs(sources[1]), (std::vector<std::pair<int, int>>{{3, 2}, {2, 2}}));

    EXPECT_EQ(Refusal([&] { MapStreams(inputs, {{V, A}}, {{0, 0, 0, 0}}, false, false); }),
              "Number of stream maps must match number of output streams");
    EXPECT_EQ(Refusal([&] { MapStreams(inputs, {{V}}, {{2, 0, 2, 0}}, false, false); }),
              "Could not find input stream #2.0");
    EXPECT_EQ(Refusal([&] { MapStreams(inputs, {{V}}, {{0, 0, 0, 7}}, false, false); }),
              "Could not find sync stream #0.7");
    EXPECT_EQ(Refusal([&] { MapStreams(inputs, {{S, V}}, {{0, 0, 0, 0}, {0, 0, 0, 0}}, false, false); }),
              "Codec type mismatch for mapping #0.0 (Video) -> #0.0 (Subtitle)");
}
