#include "common/IniFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Errors.h"
#include "common/FileSystem.h"
#include "support/FaultyFileSystem.h"
#include "support/LinkTrap.h"
#include "support/TempDir.h"

namespace tellamo {
namespace {

const char* const Sample = "; written by hand\r\n"
                           "[TTellamoMainForm]\r\n"
                           "FormVersion=0\r\n"
                           "  BiDirectionalAction_Checked  =  True  \r\n"
                           "LastSaveDirLabel_Caption=\"\"/home/me/\"\"\r\n"
                           "Quoted='single'\r\n"
                           "Half=\"open\r\n"
                           "Empty=\r\n"
                           "no equals sign here\r\n"
                           "\r\n"
                           "[tOptionsForm]\n"
                           "VelocityRxSpinEdit_Value=20\n"
                           "velocityrxspinedit_value=99\n"
                           "[TTellamoMainFormRxDBGrid]\n"
                           "RxDBGrid.Description=0,212\n"
                           "RxDBGrid.=6,1600\n";

TEST(IniFile, ReadingCases) {
    const IniFile ini(Sample);
    const struct {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"TTellamoMainForm", "FormVersion", "0"},
        {"ttellamomainform", "FORMVERSION", "0"},                    // case of section and key
        {"TTellamoMainForm", "BiDirectionalAction_Checked", "True"}, // blanks dropped
        {"TTellamoMainForm", "LastSaveDirLabel_Caption", "\"/home/me/\""}, // one pair of quotes off
        {"TTellamoMainForm", "Quoted", "single"},
        {"TTellamoMainForm", "Half", "\"open"},
        {"TTellamoMainForm", "Empty", ""},
        {"TTellamoMainForm", "Missing", std::nullopt},
        {"TOptionsForm", "VelocityRxSpinEdit_Value", "20"}, // the first of two wins
        {"TTellamoMainFormRxDBGrid", "RxDBGrid.", "6,1600"},
        {"NoSuchSection", "FormVersion", std::nullopt},
        {"TTellamoMainForm", "no equals sign here", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ini.Read(c.section, c.key), c.value) << c.section << "/" << c.key;
    }
    EXPECT_EQ(ini.ReadString("X", "Y", "fallback"), "fallback");
    EXPECT_EQ(ini.Keys("TTellamoMainFormRxDBGrid"),
              (std::vector<std::string>{"RxDBGrid.Description", "RxDBGrid."}));
    EXPECT_EQ(ini.Keys("TOptionsForm"), std::vector<std::string>{"VelocityRxSpinEdit_Value"});
}

TEST(IniFile, LongValuesAreReadUpTo2047Characters) {
    IniFile ini;
    ini.Write("S", "Long", std::string(3000, 'x'));
    ini.Write("S", "Exact", std::string(2047, 'y'));
    EXPECT_EQ(ini.Read("S", "Long")->size(), 2047u);
    EXPECT_EQ(ini.Read("S", "Exact")->size(), 2047u);
}

TEST(IniFile, WritingKeepsEveryOtherLine) {
    IniFile ini(Sample);
    ini.Write("TTELLAMOMAINFORM", "formversion", "1");        // replaced where it stands
    ini.Write("TTellamoMainForm", "NewKey", "'both quotes'"); // quoted values get a pair more
    ini.Write("TAboutForm", "FormVersion", "0");              // a new section at the end
    const std::string text = ini.Text();
    EXPECT_NE(text.find("; written by hand\r\n[TTellamoMainForm]\r\nFormVersion=1\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("no equals sign here\r\nNewKey=\"'both quotes'\"\r\n\r\n[tOptionsForm]"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("RxDBGrid.=6,1600\r\n\r\n[TAboutForm]\r\nFormVersion=0\r\n"),
              std::string::npos)
        << text;
    const IniFile again(text);
    EXPECT_EQ(again.Read("TTellamoMainForm", "NewKey"), "'both quotes'");
    EXPECT_EQ(again.Read("TTellamoMainForm", "LastSaveDirLabel_Caption"), "\"/home/me/\"");
    EXPECT_EQ(again.Read("TTellamoMainForm", "BiDirectionalAction_Checked"), "True");

    ini.EraseSection("TTellamoMainFormRxDBGrid");
    ini.Write("TTellamoMainFormRxDBGrid", "RxDBGrid.Start", "0,81");
    EXPECT_EQ(ini.Keys("TTellamoMainFormRxDBGrid"), std::vector<std::string>{"RxDBGrid.Start"});
    EXPECT_EQ(IniFile(ini.Text()).Read("TAboutForm", "FormVersion"), "0");
}

TEST(IniFile, DamagedTextNeverFails) {
    const std::string damaged =
        std::string("\0\x01[\xFF\xFE]\n=\n[=]\nk=v\n[S\nx=1\n]\n", 25) + std::string(5000, '[');
    const IniFile ini(damaged);
    EXPECT_EQ(ini.Read("=", "k"), "v"); // "[=]" names a section "="
    EXPECT_EQ(ini.Read("=", "x"), "1"); // "[S" without "]" starts none
    EXPECT_FALSE(ini.Read("S", "x").has_value());
    EXPECT_FALSE(IniFile::Load("/nonexistent/tellamo.INI").Read("A", "B").has_value());
}

TEST(IniFile, SavingIsDurableAndFailuresKeepTheOldFile) {
    test::TempDir dir;
    const std::string path = dir.File("tellamo.INI");
    IniFile ini;
    ini.Write("TOptionsForm", "SilenceRxSpinEdit_Value", "25");
    ini.Save(RealFileSystem(), path);
    EXPECT_EQ(IniFile::Load(path).Read("TOptionsForm", "SilenceRxSpinEdit_Value"), "25");
    ini.Write("TOptionsForm", "SilenceRxSpinEdit_Value", "5");
    test::FaultyFileSystem full;
    full.FailAt = 2; // the first write
    EXPECT_THROW(ini.Save(full, path), TellamoError);
    EXPECT_EQ(IniFile::Load(path).Read("TOptionsForm", "SilenceRxSpinEdit_Value"), "25");
}

TEST(IniFile, SavingReplacesPlantedLinks) {
    for (const test::LinkTrap::Kind kind : test::LinkTrap::Kinds) {
        test::TempDir dir;
        test::LinkTrap trap;
        const std::string path = dir.File("tellamo.INI");
        trap.Plant(path + ".new", kind);
        IniFile ini;
        ini.Write("TOptionsForm", "SilenceRxSpinEdit_Value", "25");
        ini.Save(RealFileSystem(), path);
        EXPECT_TRUE(trap.Untouched()) << static_cast<int>(kind);
        EXPECT_EQ(IniFile::Load(path).Read("TOptionsForm", "SilenceRxSpinEdit_Value"), "25");
    }
}

// Loads /dev/zero in a process that may grow by 256 MB at most, says what it read and ends.
[[noreturn]] void LoadDevZeroInLittleMemory() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    std::ifstream statm("/proc/self/statm");
    unsigned long long pages = 0;
    statm >> pages;
    const rlim_t limit =
        static_cast<rlim_t>(pages * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE))) +
        (256ULL << 20);
    const rlimit r{limit, limit};
    if (::setrlimit(RLIMIT_AS, &r) != 0) {
        std::_Exit(2);
    }
#endif
    const bool empty = IniFile::Load("/dev/zero").Keys("Messages").empty();
    std::fprintf(stderr, "read: %s\n", empty ? "empty" : "something");
    std::_Exit(0);
}

// A settings or translation file may be named from a shared folder: what is not a regular file
// reads as empty, without blocking (a FIFO nobody writes to) or filling the memory (a device
// that never ends), and a huge file is read only so far.
TEST(IniFile, OnlyRegularFilesAreReadAndOnlySoFar) {
    test::TempDir dir;
    const std::string fifo = dir.File("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(IniFile::Load(fifo).Keys("Messages").empty());
    EXPECT_TRUE(IniFile::Load(dir.Path()).Keys("Messages").empty());

    // A link to a translation file reads through, as a file installed elsewhere would.
    test::WriteFileBytes(dir.File("de.ini"), "[Messages]\nNotes=Notizen\n");
    std::filesystem::create_symlink(dir.File("de.ini"), dir.File("link.ini"));
    EXPECT_EQ(IniFile::Load(dir.File("link.ini")).Read("Messages", "Notes"), "Notizen");

    std::string huge = "[Messages]\nFirst=1\n";
    while (huge.size() <= IniFile::MaxFileBytes) {
        huge += "; " + std::string(1000, 'x') + "\n";
    }
    huge += "Last=2\n";
    test::WriteFileBytes(dir.File("huge.ini"), huge);
    const IniFile cut = IniFile::Load(dir.File("huge.ini"));
    EXPECT_EQ(cut.Read("Messages", "First"), "1");
    EXPECT_FALSE(cut.Read("Messages", "Last").has_value());

    EXPECT_EXIT(LoadDevZeroInLittleMemory(), ::testing::ExitedWithCode(0), "read: empty");
}

// Finding keys goes through an index of the lines: it must follow every change of the file.
TEST(IniFile, KeysAreFoundAfterEveryChange) {
    IniFile ini("[A]\nx=1\nX=shadowed\n[B]\ny=2\n[a]\nz=3\nx=again\n");
    EXPECT_EQ(ini.Keys("a"), (std::vector<std::string>{"x", "z"}));
    EXPECT_EQ(ini.Read("B", "Y"), "2");
    // A new key of A goes before B's lines, which all move down one.
    ini.Write("A", "w", "4");
    EXPECT_EQ(ini.Read("A", "w"), "4");
    EXPECT_EQ(ini.Read("B", "y"), "2");
    EXPECT_EQ(ini.Read("a", "z"), "3");
    EXPECT_EQ(ini.Read("a", "x"), "1");
    ini.Write("b", "Y", "5");
    EXPECT_EQ(ini.Read("B", "y"), "5");
    ini.EraseSection("A");
    EXPECT_FALSE(ini.Read("A", "x").has_value());
    EXPECT_FALSE(ini.Read("A", "w").has_value());
    EXPECT_EQ(ini.Read("B", "y"), "5");
    ini.Write("A", "x", "6");
    EXPECT_EQ(ini.Read("a", "X"), "6");
    EXPECT_EQ(ini.Keys("A"), (std::vector<std::string>{"x"}));
    EXPECT_EQ(ini.Text(), "[B]\r\ny=5\r\n\r\n[A]\r\nx=6\r\n");
}

} // namespace
} // namespace tellamo
