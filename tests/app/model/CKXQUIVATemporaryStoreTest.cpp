// The store's own checks: a removal it is asked for outside its rules stops a debug build before
// anything is removed.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "app/model/CKXQUIVATemporaryStore.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using quiva::test::WriteAll;

namespace {

TEST(TemporaryStoreChecks, ARemovalOutsideTheRootOrOfAFileNotTheStoresStopsADebugBuildAndRemovesNothing)
{
#ifdef NDEBUG
    GTEST_SKIP() << "the store checks its removals in debug builds";
#else
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    quiva::test::TempDir dir;
    fs::create_directories(dir.Native("store/12345/Endo/20240105"));
    WriteAll(dir.Native("store/12345/Endo/20240105/notes.txt"), "the clinic's own");
    WriteAll(dir.Native("store/12345/Endo/20240105/100000000.jpg"), "a still");
    WriteAll(dir.Native("outside.jpg"), "not the store's");
    const CKXQUIVATemporaryStore store(dir.Win("store"));

    EXPECT_DEATH(store.RemoveCapture(dir.Win("outside.jpg")), "");
    EXPECT_DEATH(store.RemoveCapture(dir.Win("store/12345/Endo/20240105/../../../../outside.jpg")), "");
    EXPECT_DEATH(store.RemoveCapture(dir.Win("store/12345/Endo/20240105/notes.txt")), "");
    EXPECT_DEATH(store.RemoveJournal(dir.Win("outside.jpg")), "");
    // The window thread's store, asked from another thread.
    EXPECT_DEATH(
        {
            std::thread other([&] { store.RemoveCapture(dir.Win("store/12345/Endo/20240105/100000000.jpg")); });
            other.join();
        },
        "");
    EXPECT_TRUE(fs::exists(dir.Native("outside.jpg")));
    EXPECT_TRUE(fs::exists(dir.Native("store/12345/Endo/20240105/notes.txt")));
    EXPECT_TRUE(fs::exists(dir.Native("store/12345/Endo/20240105/100000000.jpg")));

    // Its own still, inside the root and on its thread, it removes.
    EXPECT_TRUE(store.RemoveCapture(dir.Win("store/12345/Endo/20240105/100000000.jpg")));
    EXPECT_FALSE(fs::exists(dir.Native("store/12345/Endo/20240105/100000000.jpg")));
#endif
}

}  // namespace
