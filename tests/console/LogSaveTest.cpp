// "Write To log.rtf": the document read back by an independent RTF reader, and the file
// left as it was whenever the save cannot complete.
#include "DialogFixture.h"

#include <sys/resource.h>

#include <csignal>

#include "AppTestSupport.h"
#include "console/LogColours.h"

namespace apptest {
namespace {

class LogSave : public DialogFixture {
protected:
    std::filesystem::path LogFile() const { return Folder() / "log.rtf"; }
    void Save(CMainTestDlg& dlg) { Click(dlg, IDC_WRITE_LOG); }
    // Files of the folder besides the ones a test put there.
    int LeftoverTemporaries() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(Folder()))
            count += entry.path().extension() == ".tmp" ? 1 : 0;
        return count;
    }
};

TEST_F(LogSave, RtfHoldsTextColoursAndFace) {
    Run([&](CMainTestDlg& dlg) {
        dlg.SetLogColor(vantrel::console::kLogRed);
        dlg.LogPrintf("Channel 3 out of tolerance: 12.5%%\n");
        dlg.SetLogColor(vantrel::console::kLogGreen);
        dlg.LogPrintf("SUCCESS\n");
        dlg.SetLogColor(vantrel::console::kLogBlack);
        dlg.LogPrintf("done\n");
        Save(dlg);
    });
    ASSERT_TRUE(m_messageBoxes.empty()) << m_messageBoxes.front().text;
    const std::string content = ReadFile(LogFile());
    ASSERT_EQ(content.rfind("{\\rtf1", 0), 0u) << "not an RTF document: " << content.substr(0, 40);

    const std::string text = RunUnrtf(LogFile(), "text");
    for (const char* line : {"Orvane Driver version 6.02 initialized...", "Vantrel",
                             "Channel 3 out of tolerance: 12.5%", "SUCCESS", "done"})
        EXPECT_NE(text.find(line), std::string::npos) << "missing \"" << line << "\" in\n" << text;

    const std::string html = RunUnrtf(LogFile(), "html");
    EXPECT_NE(html.find("Courier New"), std::string::npos) << html;
    EXPECT_NE(html.find("<font color=\"#ff0000\">Channel 3 out of tolerance"), std::string::npos) << html;
    EXPECT_NE(html.find("<font color=\"#00a400\">SUCCESS"), std::string::npos) << html;
    EXPECT_NE(html.find("<font color=\"#000000\">done"), std::string::npos) << html;
    EXPECT_EQ(LeftoverTemporaries(), 0);
}

TEST_F(LogSave, EmptyConsoleSavesMinimalValidDocument) {
    Run([&](CMainTestDlg& dlg) {
        apptest::Item<CRichEditCtrl>(dlg, IDC_CONSOLE).SetWindowText("");
        Save(dlg);
    });
    ASSERT_TRUE(m_messageBoxes.empty()) << m_messageBoxes.front().text;
    const std::string content = ReadFile(LogFile());
    EXPECT_EQ(content.rfind("{\\rtf1", 0), 0u) << content;
    EXPECT_EQ(content.find_last_not_of("\r\n"), content.rfind('}')) << "ends after its brace";
    EXPECT_FALSE(RunUnrtf(LogFile(), "text").empty()) << "unrtf rejected the document";
}

TEST_F(LogSave, ShorterLogReplacesLongerFileWhole) {
    const std::string older = "{\\rtf1 older}" + std::string(200000, 'X') + "STALE-TAIL";
    WriteFile(LogFile(), older);
    std::string first;
    Run([&](CMainTestDlg& dlg) {
        Save(dlg);
        first = ReadFile(LogFile());
        dlg.LogPrintf("one more line\n");
        Save(dlg);
    });
    ASSERT_TRUE(m_messageBoxes.empty()) << m_messageBoxes.front().text;
    const std::string second = ReadFile(LogFile());
    EXPECT_EQ(first.find("STALE-TAIL"), std::string::npos) << "older bytes left behind";
    EXPECT_EQ(second.find("STALE-TAIL"), std::string::npos);
    EXPECT_EQ(second.rfind("{\\rtf1", 0), 0u);
    EXPECT_NE(RunUnrtf(LogFile(), "text").find("one more line"), std::string::npos);
    EXPECT_EQ(LeftoverTemporaries(), 0);
}

// Temporaries of saves that were killed go with the next save; one that a running save holds
// stays.
TEST_F(LogSave, StaleTemporariesOfKilledSavesAreRemoved) {
    const auto stale = Folder() / ".log.rtf.0badf00d.tmp";
    const auto held = Folder() / ".log.rtf.1234abcd.tmp";
    const auto other = Folder() / ".notes.0badf00d.tmp";
    for (const auto& file : {stale, held, other}) WriteFile(file, "{\\rtf1 half");
    LockHolder holder(held, LockKind::Flock);
    ASSERT_TRUE(holder.Holding());
    Run([&](CMainTestDlg& dlg) { Save(dlg); });
    ASSERT_TRUE(m_messageBoxes.empty()) << m_messageBoxes.front().text;
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(held));
    EXPECT_TRUE(std::filesystem::exists(other));
    EXPECT_NE(RunUnrtf(LogFile(), "text").find("Vantrel"), std::string::npos);
}

// A save that fails after its file is open (here at a file-size limit, as on a full disk)
// keeps the previous log whole and leaves no temporary behind.
TEST_F(LogSave, SaveFailingMidWriteKeepsThePreviousLog) {
    const std::string older = "{\\rtf1 the previous log}";
    WriteFile(LogFile(), older);
    Run([&](CMainTestDlg& dlg) {
        for (int i = 0; i < 100; ++i) dlg.LogPrintf("line %d of a log longer than the limit\n", i);
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 2048;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        Save(dlg);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    });
    ASSERT_EQ(m_messageBoxes.size(), 1u);
    EXPECT_NE(m_messageBoxes[0].text.find("log.rtf"), std::string::npos) << m_messageBoxes[0].text;
    EXPECT_EQ(ReadFile(LogFile()), older);
    EXPECT_EQ(LeftoverTemporaries(), 0);
}

struct LockCase {
    const char* name;
    LockKind kind;
};

class LockedLog : public LogSave, public testing::WithParamInterface<LockCase> {};

TEST_P(LockedLog, IsLeftUntouchedAndReportedAsSharingViolation) {
    const std::string older = "{\\rtf1 kept by another program}";
    WriteFile(LogFile(), older);
    LockHolder holder(LogFile(), GetParam().kind);
    ASSERT_TRUE(holder.Holding()) << "the other process could not lock the file";
    std::string consoleAfter;
    std::string consoleBefore;
    Run([&](CMainTestDlg& dlg) {
        consoleBefore = ConsoleText(dlg);
        Save(dlg);
        consoleAfter = ConsoleText(dlg);
    });
    EXPECT_EQ(ReadFile(LogFile()), older);
    ASSERT_EQ(m_messageBoxes.size(), 1u);
    EXPECT_NE(m_messageBoxes[0].text.find("log.rtf"), std::string::npos) << m_messageBoxes[0].text;
    CFileException sharing(CFileException::sharingViolation, -1, "log.rtf");
    char expected[1024];
    sharing.GetErrorMessage(expected, sizeof(expected));
    EXPECT_EQ(m_messageBoxes[0].text, expected) << "not the framework's sharing-violation text";
    EXPECT_EQ(consoleAfter, consoleBefore) << "the save must not write to the console";
    EXPECT_EQ(LeftoverTemporaries(), 0);
}

INSTANTIATE_TEST_SUITE_P(Locks, LockedLog,
                         testing::Values(LockCase{"Flock", LockKind::Flock},
                                         LockCase{"Fcntl", LockKind::Fcntl}),
                         [](const testing::TestParamInfo<LockCase>& p) { return std::string(p.param.name); });

TEST_F(LogSave, LogThatIsAFolderIsReportedNamingTheFile) {
    std::filesystem::create_directory(LogFile());
    WriteFile(LogFile() / "inside.txt", "keep");
    Run([&](CMainTestDlg& dlg) { Save(dlg); });
    ASSERT_EQ(m_messageBoxes.size(), 1u);
    EXPECT_NE(m_messageBoxes[0].text.find("log.rtf"), std::string::npos) << m_messageBoxes[0].text;
    EXPECT_TRUE(std::filesystem::is_directory(LogFile()));
    EXPECT_EQ(ReadFile(LogFile() / "inside.txt"), "keep");
    EXPECT_EQ(LeftoverTemporaries(), 0);
}

}  // namespace
}  // namespace apptest
