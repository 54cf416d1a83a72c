// The system's profile functions and this program's own reader side by side on the same
// files: the station's files must read the same whichever reads them.
#include "PortableProfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

struct Query {
    std::string section;
    std::string key;
    std::string def;
    std::size_t buffer;
};

const char* const kLines[] = {
    "; station settings",
    "KeyBefore=early",
    "[OPCOES]",
    "  CERTIFICADORA =  1  ",
    "Porta Certificadora=3",
    "Quoted=\" a b \"",
    "Single=' x '",
    "Half=\"abc",
    "Inner=a \"b\" c",
    "Blank=",
    "  Spaced Key  =  v  ",
    "Dup=first",
    "Dup=second",
    "NoEquals line",
    "Hora limite=06:00:00 ; comment?",
    "[ Spaced Section ]",
    "k=spaced",
    "[opcoes]",
    "Posto=second section of that name",
    "[Other]",
    "Posto=9",
    "Accents=ação \xE9\xE7",
};

const Query kQueries[] = {
    {"OPCOES", "Certificadora", "0", 5},
    {"opcoes", "porta certificadora", "0", 5},
    {"OPCOES", "Quoted", "", 100},
    {"OPCOES", "Single", "", 100},
    {"OPCOES", "Half", "", 100},
    {"OPCOES", "Inner", "", 100},
    {"OPCOES", "Blank", "def", 10},
    {"OPCOES", "Spaced Key", "", 10},
    {"OPCOES", "Dup", "", 10},
    {"OPCOES", "Posto", "def", 50},
    {"OPCOES", "Hora limite", "0", 10},
    {"OPCOES", "NoEquals line", "none", 10},
    {"Spaced Section", "k", "", 10},
    {"Other", "Posto", "0", 5},
    {"Other", "Accents", "", 50},
    // Buffer cuts: the value, a quoted value and the default.
    {"OPCOES", "Porta Certificadora", "0", 1},
    {"OPCOES", "Quoted", "", 3},
    {"OPCOES", "Missing", "123456", 5},
    {"OPCOES", "Missing", "  padded default  ", 50},
    {"Missing", "Certificadora", "d", 10},
    // Names given with blanks around them, and keys before any section.
    {" OPCOES ", "Certificadora", "none", 10},
    {"OPCOES", " Certificadora ", "none", 10},
    {"", "KeyBefore", "none", 10},
};

class ProfileFileWin : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("plinova-ini-win-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& eol) {
        const std::string path = (dir / name).string();
        std::ofstream out(path, std::ios::binary);
        for (const char* line : kLines)
            out << line << eol;
        return path;
    }
    fs::path dir;
};

TEST_P(ProfileFileWin, ReadsAsTheSystemReads) {
    const std::string file = Write("Plinova.ini", GetParam());
    for (const Query& q : kQueries) {
        SCOPED_TRACE("[" + q.section + "] " + q.key + " (default \"" + q.def + "\", buffer " +
                     std::to_string(q.buffer) + ")");
        EXPECT_EQ(platform::ReadProfileString(file, q.section, q.key, q.def, q.buffer),
                  platform::portable::ReadProfileString(file, q.section, q.key, q.def, q.buffer));
    }
    const std::string missing = (dir / "Missing.ini").string();
    EXPECT_EQ(platform::ReadProfileString(missing, "OPCOES", "Posto", "0", 5), "0");
}

TEST_P(ProfileFileWin, WhatTheSystemWritesReadsBackBothWays) {
    const std::string file = Write("Plinova.ini", GetParam());
    platform::WriteProfileString(file, "vandrel", "Top", "120");
    platform::WriteProfileString(file, "vandrel", "Top", "-40");
    platform::WriteProfileString(file, "OPCOES", "Dup", "third");
    for (const auto& read :
         {&platform::ReadProfileString, &platform::portable::ReadProfileString}) {
        EXPECT_EQ(read(file, "vandrel", "Top", "0", 10), "-40");
        EXPECT_EQ(read(file, "OPCOES", "Dup", "", 10), "third");
        EXPECT_EQ(read(file, "OPCOES", "Certificadora", "0", 5), "1");
        EXPECT_EQ(read(file, "Other", "Posto", "0", 5), "9");
    }
    EXPECT_THROW(
        platform::WriteProfileString((dir / "no-such-dir" / "x.ini").string(), "S", "k", "v"),
        platform::ProfileError);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, ProfileFileWin, ::testing::Values("\r\n", "\n"),
                         [](const auto& info) {
                             return std::string(info.param[0] == '\r' ? "CrLf" : "Lf");
                         });

} // namespace
