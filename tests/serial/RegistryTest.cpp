#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("registry-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        file = (dir / "store.reg").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
    std::string file;
};

TEST_F(RegistryTest, ValuesKeepTheirKindAndBytesAcrossReopening) {
    const std::string odd("a=b[c]\n%\0\xFF", 10);
    {
        platform::Registry registry(file);
        EXPECT_FALSE(registry.OpenKey("Software\\Plinova", false));
        ASSERT_TRUE(registry.OpenKey("Software\\Plinova", true));
        registry.WriteString("Text", odd);
        registry.WriteInteger("Number", -123456);
        registry.WriteBinary(odd, std::string("\x01\x00\x02", 3));
    }
    platform::Registry registry(file);
    EXPECT_TRUE(registry.KeyExists("Software/Plinova/"));
    ASSERT_TRUE(registry.OpenKey("\\Software\\Plinova", false));
    EXPECT_EQ(registry.ReadString("Text"), odd);
    EXPECT_EQ(registry.ReadInteger("Number"), -123456);
    EXPECT_EQ(registry.ReadBinary(odd), std::string("\x01\x00\x02", 3));
    EXPECT_EQ(registry.GetDataType("Missing"), platform::RegDataType::None);
    EXPECT_EQ(registry.ReadString("Missing"), "");
}

TEST_F(RegistryTest, FailuresNameTheValue) {
    platform::Registry registry(file);
    EXPECT_THROW(registry.WriteString("Port", "COM1"), platform::RegistryError);
    ASSERT_TRUE(registry.OpenKey("K", true));
    registry.WriteString("Port", "COM1");
    registry.WriteInteger("Size", 4);
    try {
        registry.ReadInteger("Port");
        FAIL();
    } catch (const platform::RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Port'");
    }
    EXPECT_THROW(registry.ReadString("Size"), platform::RegistryError);
    try {
        registry.ReadInteger("Gone");
        FAIL();
    } catch (const platform::RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to get data for 'Gone'");
    }
    {
        std::ofstream out(file, std::ios::app);
        out << "[Wide]\nI Size=4294967296\n";
    }
    platform::Registry reread(file);
    ASSERT_TRUE(reread.OpenKey("Wide", false));
    EXPECT_THROW(reread.ReadInteger("Size"), platform::RegistryError) << "no wrapping to 32 bits";
    platform::Registry unwritable((dir / "no-such-dir" / "store.reg").string());
    EXPECT_FALSE(unwritable.OpenKey("K", true));
}

TEST_F(RegistryTest, FailedSaveLeavesTheValueUnchanged) {
    platform::Registry registry(file);
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

} // namespace
