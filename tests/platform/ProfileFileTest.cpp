#include "PortableProfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::portable::ReadProfileString;
using platform::portable::WriteProfileString;

namespace {

// Relative names are read against the working folder, which the tests leave as it is: each
// test's files are in a folder of its own below it, and the names given carry that folder.
class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        sub_ = "plinova-ini-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(sub_);
    }
    void TearDown() override { fs::remove_all(sub_); }
    // `name` as the test means it, inside the test's folder: "a.ini", "./a.ini", ".\\a.ini".
    std::string In(const std::string& name) const {
        for (const char* dot : {".\\", "./"})
            if (name.rfind(dot, 0) == 0)
                return dot + sub_ + dot[1] + name.substr(2);
        return sub_ + "/" + name;
    }
    void Put(const std::string& name, const std::string& content) const {
        std::ofstream(In(name), std::ios::binary) << content;
    }
    std::string Get(const std::string& name) const {
        std::ifstream in(In(name), std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string sub_;
};

TEST_F(ProfileFileTest, ReadsValuesWithWindowsRules) {
    Put("Plinova.ini", "; station settings\r\n[opcoes]\r\n  CERTIFICADORA =  1  \r\n"
                       "Porta Certificadora=3\r\nQuoted=\" a b \"\r\n[Other]\r\nPosto=9\r\n");
    // Names compare without regard to case; values are trimmed and unquoted.
    EXPECT_EQ(ReadProfileString(In(".\\Plinova.ini"), "OPCOES", "Certificadora", "0", 5), "1");
    EXPECT_EQ(ReadProfileString(In("./Plinova.ini"), "Opcoes", "porta certificadora", "0", 5), "3");
    EXPECT_EQ(ReadProfileString(In("Plinova.ini"), "OPCOES", "Quoted", "", 100), " a b ");
    // A key of another section is not seen.
    EXPECT_EQ(ReadProfileString(In("Plinova.ini"), "OPCOES", "Posto", "def", 5), "def");
}

TEST_F(ProfileFileTest, CutsToBufferSizeLessOne) {
    Put("Molvar.ini", "[OPCOES]\nPosto=12345\n");
    EXPECT_EQ(ReadProfileString(In(".\\Molvar.ini"), "OPCOES", "Posto", "0", 5), "1234");
    EXPECT_EQ(ReadProfileString(In(".\\Molvar.ini"), "OPCOES", "Posto", "0", 10), "12345");
    EXPECT_EQ(ReadProfileString(In(".\\Molvar.ini"), "OPCOES", "Posto", "0", 1), "");
    EXPECT_EQ(ReadProfileString(In(".\\Molvar.ini"), "OPCOES", "Nope", "123456", 5), "1234");
}

TEST_F(ProfileFileTest, DefaultWhenFileSectionOrKeyMissing) {
    EXPECT_EQ(ReadProfileString(In(".\\Missing.ini"), "OPCOES", "Certificadora", "0", 5), "0");
    Put("a.ini", "[vandrel]\nTop=5\n");
    EXPECT_EQ(ReadProfileString(In("a.ini"), "OPCOES", "Top", "x", 5), "x");
    EXPECT_EQ(ReadProfileString(In("a.ini"), "vandrel", "Left", "500", 10), "500");
    // An empty value is a value, not a missing key.
    Put("b.ini", "[vandrel]\nLeft=\n");
    EXPECT_EQ(ReadProfileString(In("b.ini"), "vandrel", "Left", "500", 10), "");
}

TEST_F(ProfileFileTest, FirstSectionOfANameWins) {
    Put("d.ini", "[S]\nk=1\n[s]\nk=2\nj=3\n");
    EXPECT_EQ(ReadProfileString(In("d.ini"), "S", "k", "", 10), "1");
    EXPECT_EQ(ReadProfileString(In("d.ini"), "S", "j", "none", 10), "none");
}

TEST_F(ProfileFileTest, WriteKeepsEveryOtherLine) {
    const std::string before = "; comment\r\n\r\n[vandrel]\r\nTop=1\r\n; inner\r\nLeft=2\r\n\r\n"
                               "[OPCOES]\r\nCertificadora=1\r\n";
    Put("Plinova.ini", before);
    WriteProfileString(In(".\\Plinova.ini"), "VANDREL", "left", "640");
    EXPECT_EQ(Get("Plinova.ini"),
              "; comment\r\n\r\n[vandrel]\r\nTop=1\r\n; inner\r\nleft=640\r\n\r\n"
              "[OPCOES]\r\nCertificadora=1\r\n");
    // A new key goes after the section's last entry, before the blank line.
    WriteProfileString(In(".\\Plinova.ini"), "vandrel", "Width", "3");
    EXPECT_EQ(Get("Plinova.ini"),
              "; comment\r\n\r\n[vandrel]\r\nTop=1\r\n; inner\r\nleft=640\r\nWidth=3\r\n\r\n"
              "[OPCOES]\r\nCertificadora=1\r\n");
    EXPECT_EQ(ReadProfileString(In(".\\Plinova.ini"), "OPCOES", "Certificadora", "0", 5), "1");
}

TEST_F(ProfileFileTest, WriteCreatesFileSectionAndKey) {
    WriteProfileString(In(".\\New.ini"), "vandrel", "Top", "7");
    EXPECT_EQ(Get("New.ini"), "[vandrel]\r\nTop=7\r\n");
    Put("lf.ini", "[A]\nx=1");
    WriteProfileString(In("lf.ini"), "B", "y", "2");
    EXPECT_EQ(Get("lf.ini"), "[A]\nx=1\n[B]\ny=2\n");
}

TEST_F(ProfileFileTest, BytesAboveAsciiAndBinaryNoiseSurvive) {
    const std::string cafe = "caf\xe9";
    Put("w.ini", std::string("\x01\x02garbage\0\xff\n[S]\nk=", 18) + cafe + "\n");
    EXPECT_EQ(ReadProfileString(In("w.ini"), "S", "k", "", 100), cafe);
    WriteProfileString(In("w.ini"), "S", "j", "\xe7");
    EXPECT_EQ(ReadProfileString(In("w.ini"), "S", "j", "", 100), "\xe7");
    EXPECT_EQ(Get("w.ini").substr(0, 18), std::string("\x01\x02garbage\0\xff\n[S]\nk=", 18));
}

TEST_F(ProfileFileTest, EveryLineKeepsItsOwnLineEnd) {
    // A CR that ends the file ends the line; the value does not take it.
    Put("Molvar.ini", "[OPCOES]\r\nPosto=12\r");
    EXPECT_EQ(ReadProfileString(In("Molvar.ini"), "OPCOES", "Posto", "0", 5), "12");
    WriteProfileString(In("Molvar.ini"), "OPCOES", "Posto", "7");
    EXPECT_EQ(Get("Molvar.ini"), "[OPCOES]\r\nPosto=7\r");

    // Mixed line ends stay as they were, a CR before a CR LF included; lines added take the
    // file's usual line end, and the line that was last gets a whole one.
    const std::string mixed = "[OP\r\r\n; note\n\n\n[X]\r\nTail 12 \r";
    Put("Plinova.ini", mixed);
    WriteProfileString(In("Plinova.ini"), "OPCOES", "Posto", "12");
    const std::string once = Get("Plinova.ini");
    EXPECT_EQ(once, "[OP\r\r\n; note\n\n\n[X]\r\nTail 12 \r\n[OPCOES]\nPosto=12\n");
    WriteProfileString(In("Plinova.ini"), "OPCOES", "Posto", "12");
    EXPECT_EQ(Get("Plinova.ini"), once);
}

TEST_F(ProfileFileTest, WriteFailureIsReported) {
    fs::create_directory(In("dir.ini"));
    EXPECT_THROW(WriteProfileString(In("dir.ini"), "S", "k", "v"), platform::ProfileError);
}

} // namespace
