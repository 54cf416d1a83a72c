#include "FileRegistry.h"
#ifdef _WIN32
#include "win/SystemRegistry.h"
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace {

namespace fs = std::filesystem;

std::string TestName() {
    return std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

class FileStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("registry-" + TestName());
        fs::create_directories(dir);
        file = (dir / "store.reg").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
    std::string file;
};

// What every store must do, on the file store everywhere and on the system registry where
// there is one. Keys live below a root of the test's own.
class RegistryTest : public FileStoreTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        FileStoreTest::SetUp();
        root = "Software\\Plinova\\Tests\\" + TestName();
        for (char& c : root)
            if (c == '/')
                c = '_';
    }
    void TearDown() override {
#ifdef _WIN32
        platform::SystemRegistry().DeleteKey(root);
#endif
        FileStoreTest::TearDown();
    }
    // A new store object on the same data, as a program started again would have.
    std::unique_ptr<platform::Registry> Open() const {
#ifdef _WIN32
        if (std::string(GetParam()) == "System")
            return std::make_unique<platform::SystemRegistry>();
#endif
        return std::make_unique<platform::FileRegistry>(file);
    }
    std::string root;
};

TEST_P(RegistryTest, ValuesKeepTheirKindAndBytesAcrossReopening) {
    const std::string odd("a=b[c]\n%\0\xFF", 10);
    const std::string oddName("a=b[c]\n%");
    {
        auto registry = Open();
        EXPECT_FALSE(registry->OpenKey(root, false));
        ASSERT_TRUE(registry->OpenKey(root, true));
        registry->WriteString("Text", odd);
        registry->WriteInteger("Number", -123456);
        registry->WriteBinary(oddName, std::string("\x01\x00\x02", 3));
    }
    auto registry = Open();
    std::string slashed = root;
    for (char& c : slashed)
        if (c == '\\')
            c = '/';
    EXPECT_TRUE(registry->KeyExists(slashed + "/"));
    ASSERT_TRUE(registry->OpenKey("\\" + root, false));
    EXPECT_EQ(registry->CurrentPath(), root);
    EXPECT_EQ(registry->ReadString("Text"), odd);
    EXPECT_EQ(registry->ReadInteger("Number"), -123456);
    EXPECT_EQ(registry->ReadBinary(oddName), std::string("\x01\x00\x02", 3));
    EXPECT_EQ(registry->GetDataType("Number"), platform::RegDataType::Integer);
    EXPECT_EQ(registry->GetDataType("Missing"), platform::RegDataType::None);
    EXPECT_EQ(registry->ReadString("Missing"), "");
    EXPECT_TRUE(registry->DeleteValue("Number"));
    EXPECT_FALSE(registry->ValueExists("Number"));
}

TEST_P(RegistryTest, FailuresNameTheValue) {
    auto registry = Open();
    EXPECT_THROW(registry->WriteString("Port", "COM1"), platform::RegistryError);
    ASSERT_TRUE(registry->OpenKey(root, true));
    registry->WriteString("Port", "COM1");
    registry->WriteInteger("Size", 4);
    try {
        registry->ReadInteger("Port");
        FAIL();
    } catch (const platform::RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Port'");
    }
    EXPECT_THROW(registry->ReadString("Size"), platform::RegistryError);
    try {
        registry->ReadInteger("Gone");
        FAIL();
    } catch (const platform::RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to get data for 'Gone'");
    }
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Stores, RegistryTest, ::testing::Values("File", "System"));
#else
INSTANTIATE_TEST_SUITE_P(Stores, RegistryTest, ::testing::Values("File"));
#endif

TEST_F(FileStoreTest, NumbersBeyond32BitsAndUnwritableStoresFail) {
    {
        std::ofstream out(file, std::ios::app);
        out << "[Wide]\nI Size=4294967296\n";
    }
    platform::FileRegistry reread(file);
    ASSERT_TRUE(reread.OpenKey("Wide", false));
    EXPECT_THROW(reread.ReadInteger("Size"), platform::RegistryError) << "no wrapping to 32 bits";
    platform::FileRegistry unwritable((dir / "no-such-dir" / "store.reg").string());
    EXPECT_FALSE(unwritable.OpenKey("K", true));
}

TEST_F(FileStoreTest, FailedSaveLeavesTheValueUnchanged) {
    platform::FileRegistry registry(file);
    ASSERT_TRUE(registry.OpenKey("K", true));
    registry.WriteInteger("Size", 4);
    fs::remove_all(dir);
    try {
        registry.WriteInteger("Size", 5);
        FAIL();
    } catch (const platform::RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'Size'");
    }
    EXPECT_EQ(registry.ReadInteger("Size"), 4);
}

// Every write replaces the store's file, so a second write meets the file of the first.
TEST_F(FileStoreTest, EveryWriteReplacesTheStoreFile) {
    platform::FileRegistry registry(file);
    ASSERT_TRUE(registry.OpenKey("K", true));
    for (int i = 0; i < 3; ++i)
        registry.WriteInteger("Size", i);
    platform::FileRegistry reread(file);
    ASSERT_TRUE(reread.OpenKey("K", false));
    EXPECT_EQ(reread.ReadInteger("Size"), 2);
    EXPECT_FALSE(fs::exists(file + ".tmp"));
}

} // namespace
