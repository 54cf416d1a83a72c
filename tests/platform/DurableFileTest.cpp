#include "platform/DurableFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

using platform::DurableMode;
using platform::WriteFileDurably;

// A folder of the test's own, removed with everything in it.
class DurableFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("plinova-durable-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string Path(const char* name) const { return (folder / name).string(); }
    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path folder;
};

// Replace empties a longer file before it writes; Append goes after what is there; both create
// a missing file; every byte is kept as given, zeros and line ends too.
TEST_F(DurableFile, ReplaceAndAppendKeepEveryByte) {
    const std::string journal = Path("Plinova.jnl");
    const std::string first("first line\r\n\0 and a zero\n", 26);
    EXPECT_EQ(WriteFileDurably(journal, first, DurableMode::Replace), "");
    EXPECT_EQ(Contents(journal), first);
    EXPECT_EQ(WriteFileDurably(journal, "second\r\n", DurableMode::Append), "");
    EXPECT_EQ(Contents(journal), first + "second\r\n");
    EXPECT_EQ(WriteFileDurably(journal, "short", DurableMode::Replace), "");
    EXPECT_EQ(Contents(journal), "short");
    EXPECT_EQ(WriteFileDurably(journal, "", DurableMode::Replace), "");
    EXPECT_EQ(Contents(journal), "");
    EXPECT_TRUE(fs::exists(journal));

    const std::string appended = Path("appended");
    EXPECT_EQ(WriteFileDurably(appended, "made by an append", DurableMode::Append), "");
    EXPECT_EQ(Contents(appended), "made by an append");
}

// A failure names its step and the file, and leaves no file where none could be made.
TEST_F(DurableFile, FailuresNameTheStepAndTheFile) {
    const std::string missingFolder = (folder / "missing" / "Plinova.jnl").string();
    for (const DurableMode mode : {DurableMode::Replace, DurableMode::Append}) {
        const std::string failure = WriteFileDurably(missingFolder, "x", mode);
        EXPECT_NE(failure.find(missingFolder + ": "), std::string::npos) << failure;
        EXPECT_GT(failure.size(), missingFolder.size() + 3) << "the system's reason follows";
    }
    EXPECT_FALSE(fs::exists(folder / "missing"));

    // A folder in the file's place cannot be opened for writing.
    fs::create_directory(folder / "taken");
    EXPECT_NE(WriteFileDurably(Path("taken"), "x", DurableMode::Replace), "");
    EXPECT_TRUE(fs::is_directory(folder / "taken"));
}

#ifndef _WIN32
// A device that takes no byte fails the write itself, with the system's reason.
TEST_F(DurableFile, AFullDiskFailsTheWrite) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    EXPECT_EQ(WriteFileDurably("/dev/full", "card complete\r\n", DurableMode::Append),
              "write /dev/full: No space left on device");
}
#endif

} // namespace
