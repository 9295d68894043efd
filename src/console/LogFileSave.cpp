// "Write To log.rtf": the console saved as one RTF document. The new document goes to a
// temporary file in the same folder, reaches the disk, and only then replaces "log.rtf",
// so the file holds either the old log or the whole new one, never a mix of both.
#include "console/LogConsole.h"

#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace vantrel::console {

namespace {

// The file the save streams into: it keeps a write that failed inside the stream callback
// until the control has stopped streaming and the save can raise it.
class LogSaveFile : public CFile {
public:
    using CFile::CFile;
    ~LogSaveFile() override { delete m_pendingWriteError; }

    void KeepWriteError(CFileException* e) {
        delete m_pendingWriteError;
        m_pendingWriteError = e;
    }
    CFileException* TakeWriteError() {
        CFileException* e = m_pendingWriteError;
        m_pendingWriteError = nullptr;
        return e;
    }

private:
    CFileException* m_pendingWriteError = nullptr;
};

// Unique enough that two tools saving in one folder do not share a temporary file.
std::string TemporaryLogName() {
    static std::mt19937 generator{std::random_device{}()};
    char name[64];
    std::snprintf(name, sizeof(name), ".%s.%08x.tmp", kLogFileName, static_cast<unsigned>(generator()));
    return name;
}

// A save in progress holds its temporary file exclusively; one that nobody holds was left by
// a save that was killed, and goes.
void RemoveStaleTemporaries() {
    const std::string prefix = std::string(".") + kLogFileName + ".";
    const std::string suffix = ".tmp";
    const std::size_t nameLength = TemporaryLogName().size();
    std::error_code error;
    std::filesystem::directory_iterator entry(".", error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.size() != nameLength || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        CFile probe;
        if (!probe.Open(name.c_str(), CFile::modeRead | CFile::shareExclusive)) continue;
        probe.Close();
        std::remove(name.c_str());
    }
}

// The operator knows "log.rtf", not the temporary file's name.
[[noreturn]] void RethrowForLogFile(CFileException* e) {
    e->m_strFileName = kLogFileName;
    throw e;
}

}  // namespace

DWORD LogStreamOutCallback(DWORD_PTR cookie, BYTE* buffer, LONG count, LONG* written) {
    auto* file = reinterpret_cast<LogSaveFile*>(cookie);
    *written = 0;
    try {
        file->Write(buffer, static_cast<UINT>(count));
    } catch (CFileException* e) {
        file->KeepWriteError(e);
        return static_cast<DWORD>(e->m_lOsError > 0 ? e->m_lOsError : 1);
    }
    *written = count;
    return 0;
}

void LogConsole::SaveRtf() {
    // Holding "log.rtf" without sharing for the whole save: a file another program keeps
    // locked (flock or fcntl) is reported as a sharing violation and left untouched.
    CFile current;
    CFileException openError;
    if (!current.Open(kLogFileName, CFile::modeWrite | CFile::shareExclusive, &openError) &&
        openError.m_cause != CFileException::fileNotFound) {
        throw new CFileException(openError.m_cause, openError.m_lOsError, kLogFileName);
    }

    RemoveStaleTemporaries();
    const std::string temporaryName = TemporaryLogName();
    try {
        m_logFile = new LogSaveFile(temporaryName.c_str(),
                                    CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
    } catch (CFileException* e) {
        RethrowForLogFile(e);
    }
    std::unique_ptr<LogSaveFile> file(static_cast<LogSaveFile*>(m_logFile));

    auto discardTemporary = [&] {
        file->Abort();
        std::remove(temporaryName.c_str());
        m_logFile = nullptr;
    };

    m_logStream.dwCookie = reinterpret_cast<DWORD_PTR>(m_logFile);
    m_logStream.dwError = 0;
    m_logStream.pfnCallback = LogStreamOutCallback;
    m_control.StreamOut(SF_RTF, m_logStream);

    if (CFileException* writeError = file->TakeWriteError()) {
        discardTemporary();
        RethrowForLogFile(writeError);
    }
    try {
        file->Flush();
        file->Close();
    } catch (CFileException* e) {
        discardTemporary();
        RethrowForLogFile(e);
    }
    m_logFile = nullptr;

    if (std::rename(temporaryName.c_str(), kLogFileName) != 0) {
        const int error = errno;
        std::remove(temporaryName.c_str());
        CFileException::ThrowOsError(error, kLogFileName);
    }
    // Until its folder reaches the disk, a power cut may bring back the older log.
    if (const int error = platform::SyncFolderOf(kLogFileName))
        CFileException::ThrowOsError(error, kLogFileName);
}

}  // namespace vantrel::console
