#include "ff_loader.h"
#include "ff_logger.h"

#include "../common/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {
// Puts links to the system's copies of the engine's libraries into a folder.
void LinkSystemLibraries(const TempDir& dir, int skip) {
    for (int i = 0; i < LibraryCount; ++i) {
        if (i == skip) continue;
        const std::string name = FFLoader().LibraryFileName(i);
        for (const char* sys : {"/usr/lib/x86_64-linux-gnu/", "/usr/lib/", "/lib/x86_64-linux-gnu/"}) {
            std::error_code ec;
            if (std::filesystem::exists(std::string(sys) + name)) {
                std::filesystem::create_symlink(std::string(sys) + name, dir.file(name), ec);
                break;
            }
        }
    }
}
}  // namespace

TEST(Loader, LoadsTheEngineSetFromTheSystemAndFromAFolder) {
    TFFLoader& loader = FFLoader();
    loader.SetSearchFolder("");
    ASSERT_TRUE(loader.LoadSet(EngineLibrarySet)) << loader.LastError();
    EXPECT_TRUE(loader.SetLoaded(EngineLibrarySet));
    EXPECT_NE(FF.avformat_open_input, nullptr);
    EXPECT_NE(FF.sws_scale, nullptr);
    EXPECT_EQ(loader.LibraryFileName(liAvCodec), "libavcodec.so.59");
    EXPECT_EQ(loader.LibraryFileName(liSwScale), "libswscale.so.6");
    // Loading again only re-checks the flags.
    EXPECT_TRUE(loader.LoadSet(EngineLibrarySet));

    loader.UnloadSet(EngineLibrarySet);
    EXPECT_FALSE(loader.SetLoaded(EngineLibrarySet));
    EXPECT_EQ(FF.avformat_open_input, nullptr);

    TempDir dir;
    LinkSystemLibraries(dir, -1);
    loader.SetSearchFolder(dir.path());
    ASSERT_TRUE(loader.LoadSet(EngineLibrarySet)) << loader.LastError();
    EXPECT_TRUE(loader.IsLoaded(liAvUtil));
    EXPECT_FALSE(loader.IsLoaded(liAvDevice));
    loader.UnloadSet(EngineLibrarySet);
    loader.SetSearchFolder("");
}

TEST(Loader, AMissingLibraryUnloadsTheWholeSet) {
    TFFLoader& loader = FFLoader();
    TempDir dir;
    LinkSystemLibraries(dir, liSwScale);
    loader.SetSearchFolder(dir.path());
    // The name exists neither in the folder nor on the system path.
    loader.SetLibraryFileName(liSwScale, "libswscale-missing.so.6");
    EXPECT_FALSE(loader.LoadSet(EngineLibrarySet));
    EXPECT_NE(loader.LastError().find("Load library libswscale-missing.so.6 error: "), std::string::npos)
        << loader.LastError();
    for (int i = 0; i < LibraryCount; ++i) EXPECT_FALSE(loader.IsLoaded(i)) << i;
    EXPECT_EQ(FF.av_log, nullptr);
    loader.SetLibraryFileName(liSwScale, "");
    loader.SetSearchFolder("");
}

TEST(Loader, AMissingEntryPointNamesFunctionAndLibrary) {
    TFFLoader& loader = FFLoader();
    // libavutil stands in for libswscale: its own functions are not there.
    loader.SetLibraryFileName(liSwScale, "libavutil.so.57");
    EXPECT_FALSE(loader.LoadSet(EngineLibrarySet));
    EXPECT_EQ(loader.LastError().rfind("Load function sws_getCachedContext@libavutil.so.57 error: ", 0), 0u)
        << loader.LastError();
    EXPECT_FALSE(loader.IsLoaded(liAvUtil));
    loader.SetLibraryFileName(liSwScale, "");
}
