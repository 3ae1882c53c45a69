// Tasks hold no open file while they wait: inputs are opened for their turn
// and given back at its end, outputs are opened when their run begins.
#include "encoder_harness.h"

#include <filesystem>

namespace {
class OpenFilesTest : public MediaSuite<OpenFilesTest> {
public:
    static void MakeSuiteMedia() {
        ASSERT_TRUE(MakeClip(File("a.avi"), 1, 160, 120, 25));
        ASSERT_TRUE(MakeClip(File("b.mp4"), 1, 160, 120, 25));
    }
};

int OpenFiles() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}
}  // namespace

TEST_F(OpenFilesTest, WaitingTasksHoldNoFileAndAVanishedInputFailsByName) {
    EncoderHarness h;
    const std::string second = File("second.mp4"), out = File("joined.avi");
    std::filesystem::copy_file(File("b.mp4"), second, std::filesystem::copy_options::overwrite_existing);
    const int before = OpenFiles();
    // Thirty inputs: the encoder's limit is the caller's to lift.
    h.encoder->MaxFilesPerTask = 1000;
    std::vector<std::string> inputs(29, File("a.avi"));
    inputs.insert(inputs.begin() + 1, second);
    ASSERT_EQ(h.JoinTask(inputs, out, "vcodec=mpeg4\nacodec=mp2\nr=25"), 0) << h.encoder->LastErrorMessage();
    ASSERT_EQ(h.encoder->AddTask(File("b.mp4")), 1) << h.encoder->LastErrorMessage();
    ASSERT_TRUE(h.encoder->SetOutputFile(1, File("single.avi"))) << h.encoder->LastErrorMessage();
    EXPECT_LE(OpenFiles(), before) << "thirty-one inputs and two outputs waiting";

    // The second input is gone when its turn comes: the join fails naming it
    // instead of leaving it out, and leaves no output.
    std::filesystem::remove(second);
    h.encoder->Start(1);
    ASSERT_TRUE(h.WaitFinal());
    const auto t = h.Terminates();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].info.Outcome, toFailed);
    EXPECT_EQ(t[0].info.FileIndex, 1);
    EXPECT_EQ(t[0].info.ErrorMessage, second + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(t[1].info.Outcome, toFinished) << t[1].info.ErrorMessage;
    EXPECT_GT(std::filesystem::file_size(File("single.avi")), 1000u);
    h.encoder->ClearTasks();
    EXPECT_LE(OpenFiles(), before);
}
