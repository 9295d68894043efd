// CFile over POSIX and the operator's text of its errors. Errors are provoked without
// permissions (tests may run as root): a lock held by another process, a folder, a
// missing folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "DialogDriver.h"
#include "afx/afx.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Message(CFileException& e) {
    char text[1024];
    EXPECT_TRUE(e.GetErrorMessage(text, sizeof text));
    return text;
}

enum class LockKind { Flock, Fcntl };

// A child process that holds an exclusive lock on path until told to stop.
class LockHolder {
public:
    LockHolder(const std::string& path, LockKind kind) {
        int ready[2], stop[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(stop), 0);
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(stop[1]);
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
            if (fd < 0) _exit(1);
            struct flock whole {};
            whole.l_type = F_WRLCK;
            whole.l_whence = SEEK_SET;
            const bool locked =
                kind == LockKind::Flock ? flock(fd, LOCK_EX) == 0 : fcntl(fd, F_SETLK, &whole) == 0;
            if (!locked) _exit(1);
            char c = 'r';
            if (write(ready[1], &c, 1) != 1) _exit(1);
            if (read(stop[0], &c, 1) < 0) _exit(1);
            _exit(0);
        }
        close(ready[1]);
        close(stop[0]);
        char c = 0;
        EXPECT_EQ(read(ready[0], &c, 1), 1);
        close(ready[0]);
        m_stop = stop[1];
    }
    ~LockHolder() {
        close(m_stop);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }

private:
    pid_t m_pid = -1;
    int m_stop = -1;
};

TEST(CFile, WritesCreatesAndDoesNotTruncateWhenAsked) {
    vantrel::dialogdriver::TempFolder folder;
    {
        CFile f("log.rtf", CFile::modeCreate | CFile::modeWrite);
        f.Write("0123456789", 10);
        f.Flush();
        f.Close();
    }
    {
        CFile f("log.rtf", CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite);
        f.Write("abc", 3);
        f.Close();
    }
    EXPECT_EQ(ReadAll("log.rtf"), "abc3456789");
    {
        CFile f("log.rtf", CFile::modeCreate | CFile::modeWrite);
        f.Write("x", 1);
    }
    EXPECT_EQ(ReadAll("log.rtf"), "x");
}

class LockedFile : public testing::TestWithParam<LockKind> {};

TEST_P(LockedFile, IsASharingViolationAndStaysUntouched) {
    vantrel::dialogdriver::TempFolder folder;
    std::ofstream("log.rtf") << "older contents";
    LockHolder holder((folder.path() / "log.rtf").string(), GetParam());
    try {
        CFile f("log.rtf", CFile::modeCreate | CFile::modeWrite);
        FAIL() << "opening a locked file succeeded";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::sharingViolation);
        EXPECT_EQ(e->m_lOsError, EWOULDBLOCK);
        const std::string text = Message(*e);
        EXPECT_NE(text.find("being used by another program"), std::string::npos) << text;
        EXPECT_NE(text.find("log.rtf"), std::string::npos) << text;
        e->Delete();
    }
    EXPECT_EQ(ReadAll("log.rtf"), "older contents");
}

INSTANTIATE_TEST_SUITE_P(ByAnotherProgram, LockedFile, testing::Values(LockKind::Flock, LockKind::Fcntl),
                         [](const testing::TestParamInfo<LockKind>& row) {
                             return row.param == LockKind::Flock ? "Flock" : "Fcntl";
                         });

struct ErrorCase {
    const char* name;
    const char* path;  // relative to the temporary folder
    UINT flags;
    int cause;
    const char* words;
};

class CFileErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(CFileErrors, MapToTheirCauseAndAnOperatorsText) {
    vantrel::dialogdriver::TempFolder folder;
    std::filesystem::create_directory("afolder");
    std::ofstream("afile") << "x";
    const ErrorCase& c = GetParam();
    CFileException error;
    CFile f;
    EXPECT_FALSE(f.Open(c.path, c.flags, &error));
    EXPECT_EQ(error.m_cause, c.cause);
    const std::string text = Message(error);
    EXPECT_NE(text.find(c.words), std::string::npos) << text;
    EXPECT_NE(text.find(c.path), std::string::npos) << text;
    EXPECT_EQ(error.m_strFileName.front(), '/') << "the full path names the file";
}

INSTANTIATE_TEST_SUITE_P(
    Posix, CFileErrors,
    testing::Values(ErrorCase{"Folder", "afolder", CFile::modeCreate | CFile::modeWrite,
                              CFileException::accessDenied, "denied"},
                    ErrorCase{"MissingFolder", "nowhere/log.rtf", CFile::modeCreate | CFile::modeWrite,
                              CFileException::badPath, "folder does not exist"},
                    ErrorCase{"MissingFile", "absent.txt", CFile::modeRead, CFileException::fileNotFound,
                              "was not found"},
                    ErrorCase{"ThroughAFile", "afile/inner", CFile::modeRead, CFileException::badPath,
                              "not valid"}),
    [](const testing::TestParamInfo<ErrorCase>& i) { return std::string(i.param.name); });

TEST(CFileErrors, ErrnoValuesMapInOnePlace) {
    const std::pair<int, int> table[] = {{EWOULDBLOCK, CFileException::sharingViolation},
                                         {EACCES, CFileException::accessDenied},
                                         {EPERM, CFileException::accessDenied},
                                         {EROFS, CFileException::accessDenied},
                                         {EISDIR, CFileException::accessDenied},
                                         {ENOSPC, CFileException::diskFull},
                                         {ENOENT, CFileException::fileNotFound},
                                         {EMFILE, CFileException::tooManyOpenFiles},
                                         {EIO, CFileException::hardIO},
                                         {EXDEV, CFileException::genericException}};
    for (const auto& [err, cause] : table)
        EXPECT_EQ(CFileException::OsErrorToException(err), cause) << "errno " << err;
}

TEST(CFileErrors, ReportErrorShowsTheTextInAMessageBox) {
    vantrel::dialogdriver::MessageBoxScript boxes;
    CFileException e(CFileException::diskFull, ENOSPC, "/data/log.rtf");
    EXPECT_EQ(e.ReportError(MB_OK | MB_ICONSTOP), IDOK);
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, "There is not enough space on the disk to write \"/data/log.rtf\".");
    EXPECT_EQ(boxes.records()[0].type & MB_ICONMASK, MB_ICONSTOP);
}

TEST(CFileErrors, WritingToAFullDiskThrows) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    CFile f("/dev/full", CFile::modeWrite | CFile::shareDenyNone);
    try {
        f.Write("x", 1);
        f.Flush();
        FAIL() << "writing to a full device succeeded";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::diskFull);
        e->Delete();
    }
}

}  // namespace
