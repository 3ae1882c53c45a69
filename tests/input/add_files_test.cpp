// Adding batches of real files: probing, the rows' wording, thumbnails, the
// failed files and the batch's order of events.
#include "add_files.h"
#include "ff_decoder.h"
#include "log_sink.h"

#include "../common/temp_dir.h"
#include "../jobs/media_fixtures.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

struct RecordingLog : ILogSink {
    std::mutex mutex;  // guards lines
    std::vector<std::string> lines;
    void AppendLine(const std::string& line) override {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    }
    int Count(const std::string& prefix) {
        std::lock_guard lock(mutex);
        int n = 0;
        for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
        return n;
    }
};

struct RecordingList : IInputListTarget {
    std::vector<TProbedFile> rows;
    std::vector<std::vector<std::string>> dialogs;
    std::vector<std::string> events;
    void AppendInputRow(const TProbedFile& file) override {
        rows.push_back(file);
        events.push_back("row");
    }
    void ShowFailedFiles(const std::vector<std::string>& errors) override {
        dialogs.push_back(errors);
        events.push_back("dialog");
    }
};

class AddFilesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(LoadEngineLibraries());
        dir_ = new TempDir;
        ASSERT_TRUE(MakeClip(File("a.avi"), 2, 320, 240));
        ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i sine=duration=3 -c:a libmp3lame -b:a 64k " +
                             Quoted(File("b.mp3"))));
        ASSERT_TRUE(MakeClip(File("c.mp4"), 1, 640, 360));
        dir_->write("bad.mp4", "this is no video");
        ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v libx264 "
                             "-f h264 " + Quoted(File("raw.h264"))));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string File(const std::string& name) { return dir_->file(name); }

    TFFDecoder probe;
    RecordingLog log;
    RecordingList list;
    // Three files probed at once: rows, failures and between keep the order.
    TAddFilesBatch batch{probe, list, &log, nullptr, 3};
    static TempDir* dir_;
};
TempDir* AddFilesTest::dir_ = nullptr;

TEST_F(AddFilesTest, VideoAudioVideoBatchGetsTheMatchingWordingAndThumbnails) {
    int between = 0;
    batch.AddFiles({File("a.avi"), File("b.mp3"), File("c.mp4")}, [&] { ++between; });
    ASSERT_EQ(list.rows.size(), 3u);
    EXPECT_EQ(between, 3);  // once before the first file, then between the files
    const TInputRow& a = list.rows[0].Row;
    EXPECT_EQ(a.FullName, File("a.avi"));
    EXPECT_EQ(a.DurationLine.rfind("Duration: 00:00:02.", 0), 0u) << a.DurationLine;
    EXPECT_EQ(a.BitrateLine.rfind("Bit rate: ", 0), 0u) << a.BitrateLine;
    EXPECT_EQ(a.DimensionLine, "Dimension: 320 x 240");
    EXPECT_EQ(a.Width, 320);
    EXPECT_NEAR(a.AspectRatio, 4.0 / 3.0, 1e-5);
    EXPECT_NEAR(static_cast<double>(a.RealDuration), 2e6, 1e5);
    EXPECT_EQ(list.rows[0].Thumbnail, tkPicture);
    EXPECT_EQ(list.rows[0].Picture.Width, 320);
    EXPECT_EQ(list.rows[0].Picture.Height, 240);

    const TInputRow& b = list.rows[1].Row;
    EXPECT_EQ(b.BitrateLine, "Audio Bit rate: 64 Kbps");
    EXPECT_EQ(b.DimensionLine.rfind("Audio Encoder: mp3", 0), 0u) << b.DimensionLine;
    EXPECT_EQ(b.Width, -1);
    EXPECT_EQ(b.AspectRatio, -1.0f);
    EXPECT_EQ(list.rows[1].Thumbnail, tkAudioIcon);

    EXPECT_EQ(list.rows[2].Row.DimensionLine, "Dimension: 640 x 360");
    EXPECT_TRUE(list.dialogs.empty());
    EXPECT_EQ(log.Count("File load error: "), 0);
    EXPECT_FALSE(probe.IsOpen());  // every file closed again
}

TEST_F(AddFilesTest, UnknownDurationGetsItsTextAndThePictureAtTheStart) {
    // A raw stream: no length known and no seeking by time.
    batch.AddFiles({File("raw.h264")});
    ASSERT_EQ(list.rows.size(), 1u);
    const TInputRow& r = list.rows[0].Row;
    EXPECT_EQ(r.DurationLine, "Duration: Duration is not preseted");
    EXPECT_EQ(r.RealDuration, 0);
    EXPECT_EQ(r.DimensionLine, "Dimension: 160 x 120");
    EXPECT_EQ(list.rows[0].Thumbnail, tkPicture);
    EXPECT_EQ(list.rows[0].Picture.Width, 160);
}

TEST_F(AddFilesTest, FailedFilesAreLoggedOnceEachAndListedAfterTheBatch) {
    batch.AddFiles({File("bad.mp4"), File("a.avi"), File("missing.avi")});
    ASSERT_EQ(list.rows.size(), 1u);
    ASSERT_EQ(list.dialogs.size(), 1u);
    ASSERT_EQ(list.dialogs[0].size(), 2u);
    EXPECT_NE(list.dialogs[0][0].find("bad.mp4"), std::string::npos) << list.dialogs[0][0];
    EXPECT_NE(list.dialogs[0][1].find("missing.avi"), std::string::npos) << list.dialogs[0][1];
    EXPECT_EQ(log.Count("File load error: "), 2);
    EXPECT_EQ(log.Count("File load error: " + list.dialogs[0][0]), 1);
    EXPECT_EQ(list.events, (std::vector<std::string>{"row", "dialog"}));

    // The next batch starts with an empty failed-files list.
    batch.AddFiles({File("c.mp4")});
    EXPECT_TRUE(batch.FailedFiles().empty());
    EXPECT_EQ(list.dialogs.size(), 1u);
    // A batch in which every file fails adds nothing and lists them all.
    batch.AddFiles({File("bad.mp4"), File("bad.mp4")});
    EXPECT_EQ(list.rows.size(), 2u);
    ASSERT_EQ(list.dialogs.size(), 2u);
    EXPECT_EQ(list.dialogs[1].size(), 2u);
    batch.AddFiles({});
    EXPECT_EQ(list.dialogs.size(), 2u);
}

TEST_F(AddFilesTest, FilesHandedInDuringABatchJoinItAndAbortDropsTheRest) {
    bool handed = false;
    batch.AddFiles({File("a.avi"), File("a.avi")}, [&] {
        if (!handed && !list.rows.empty()) {
            handed = true;
            batch.AddFiles({File("c.mp4"), File("bad.mp4")});
        }
    });
    ASSERT_EQ(list.rows.size(), 3u);  // the same file twice gives two rows
    EXPECT_EQ(list.rows[2].Row.FullName, File("c.mp4"));
    EXPECT_EQ(list.dialogs.size(), 1u);
    EXPECT_FALSE(batch.Busy());

    list.rows.clear();
    batch.AddFiles({File("a.avi"), File("bad.mp4"), File("c.mp4")}, [&] {
        if (!list.rows.empty()) batch.Abort();
    });
    EXPECT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.dialogs.size(), 1u);  // an aborted batch shows no dialog
}

}  // namespace
