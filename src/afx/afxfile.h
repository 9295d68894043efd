#pragma once
// Files with the classic file-object interface over POSIX, and the exception that reports
// their failures in words an operator understands.

#include <string>

#include "afx/afxtypes.h"

class CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    explicit CFileException(int cause = none, LONG osError = -1, const char* fileName = nullptr);

    BOOL GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext = nullptr) override;
    // Shows the message in a message box; returns the button pressed.
    int ReportError(UINT type = MB_OK, UINT messageId = 0);

    // The cause for an errno value.
    static int OsErrorToException(LONG osError);
    static void ThrowOsError(LONG osError, const char* fileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    std::string m_strFileName;
};

class CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000
    };
    static constexpr int hFileNull = -1;

    CFile() = default;
    // Opens the file or throws a CFileException*.
    CFile(const char* fileName, UINT openFlags);
    ~CFile() override;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens the file; on failure fills *error (when given) and returns FALSE.
    virtual BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    // Pushes the written data to the disk (fsync).
    virtual void Flush();
    virtual void Close();
    // Closes without throwing.
    virtual void Abort();

    int m_hFile = hFileNull;

private:
    std::string m_strFileName;
};
