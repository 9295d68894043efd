// CFile over the platform's file device, and the operator's text of each file error. The
// system calls and the meaning of their error codes are the platform's.
#include <cstdio>
#include <cstring>

#include "afx/afxfile.h"
#include "afx/afxwin.h"
#include "platform/FileDevice.h"

IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CFile, CObject)

CFileException::CFileException(int cause, LONG osError, const char* fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName ? fileName : "") {}

int CFileException::OsErrorToException(LONG osError) {
    using vantrel::platform::FileError;
    switch (vantrel::platform::ClassifyFileError(static_cast<int>(osError))) {
    case FileError::None: return none;
    case FileError::NotFound: return fileNotFound;
    case FileError::BadPath: return badPath;
    case FileError::TooManyOpen: return tooManyOpenFiles;
    case FileError::AccessDenied: return accessDenied;
    case FileError::SharingViolation: return sharingViolation;
    case FileError::LockViolation: return lockViolation;
    case FileError::DiskFull: return diskFull;
    case FileError::HardIO: return hardIO;
    case FileError::BadSeek: return badSeek;
    case FileError::NotOpen: return invalidFile;
    case FileError::Other: break;
    }
    return genericException;
}

void CFileException::ThrowOsError(LONG osError, const char* fileName) {
    if (osError != 0) throw new CFileException(OsErrorToException(osError), osError, fileName);
}

BOOL CFileException::GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext) {
    if (helpContext) *helpContext = 0;
    if (!buffer || maxChars == 0) return FALSE;
    const std::string file = m_strFileName.empty() ? std::string("the file") : "\"" + m_strFileName + "\"";
    const char* f = file.c_str();
    char text[1536];
    switch (m_cause) {
    case fileNotFound: std::snprintf(text, sizeof text, "The file %s was not found.", f); break;
    case badPath:
        std::snprintf(text, sizeof text,
                      "%s cannot be opened: its folder does not exist or the name is not valid.", f);
        break;
    case tooManyOpenFiles:
        std::snprintf(text, sizeof text, "%s cannot be opened because too many files are open.", f);
        break;
    case accessDenied:
        std::snprintf(text, sizeof text,
                      "Access to %s was denied. It may be a folder or a read-only file, or you may not write "
                      "to its folder.",
                      f);
        break;
    case sharingViolation:
        std::snprintf(text, sizeof text,
                      "%s cannot be opened because it is being used by another program. Close that program "
                      "and try again.",
                      f);
        break;
    case lockViolation:
        std::snprintf(text, sizeof text, "%s cannot be locked because it is being used by another program.",
                      f);
        break;
    case diskFull:
        std::snprintf(text, sizeof text, "There is not enough space on the disk to write %s.", f);
        break;
    case hardIO: std::snprintf(text, sizeof text, "A hardware error occurred while accessing %s.", f); break;
    case endOfFile:
        std::snprintf(text, sizeof text, "An attempt was made to read past the end of %s.", f);
        break;
    case badSeek: std::snprintf(text, sizeof text, "An error occurred while moving within %s.", f); break;
    case invalidFile: std::snprintf(text, sizeof text, "%s is not open.", f); break;
    default:
        if (std::string reason; m_lOsError > 0 && vantrel::platform::SystemErrorText(
                                                      static_cast<std::uint32_t>(m_lOsError), reason))
            std::snprintf(text, sizeof text, "An unexpected error occurred while accessing %s: %s.", f,
                          reason.c_str());
        else
            std::snprintf(text, sizeof text, "An unexpected error occurred while accessing %s.", f);
        break;
    }
    std::strncpy(buffer, text, maxChars - 1);
    buffer[maxChars - 1] = '\0';
    return TRUE;
}

int CFileException::ReportError(UINT type, UINT /*messageId*/) {
    char text[1536];
    GetErrorMessage(text, sizeof text);
    return AfxMessageBox(text, type);
}

CFile::CFile(const char* fileName, UINT openFlags) {
    CFileException error;
    if (!Open(fileName, openFlags, &error))
        throw new CFileException(error.m_cause, error.m_lOsError, error.m_strFileName.c_str());
}

CFile::~CFile() {
    if (m_hFile != hFileNull) Abort();
}

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error) {
    if (m_hFile != hFileNull) Abort();
    m_strFileName = vantrel::platform::AbsolutePath(fileName);
    vantrel::platform::FileOpenRequest request;
    switch (openFlags & 3) {
    case modeWrite: request.access = vantrel::platform::FileAccess::Write; break;
    case modeReadWrite: request.access = vantrel::platform::FileAccess::ReadWrite; break;
    default: request.access = vantrel::platform::FileAccess::Read; break;
    }
    request.create = (openFlags & modeCreate) != 0;
    request.truncate = request.create && !(openFlags & modeNoTruncate);
    const UINT share = openFlags & 0x70;
    const bool exclusive = share == shareCompat || share == shareExclusive;
    request.lock = share == shareDenyNone                  ? vantrel::platform::FileLock::None
                   : (exclusive || share == shareDenyRead) ? vantrel::platform::FileLock::Exclusive
                                                           : vantrel::platform::FileLock::Shared;
    vantrel::platform::FileHandle handle = vantrel::platform::kNoFile;
    const int code = vantrel::platform::OpenFile(fileName, request, handle);
    if (code == 0) {
        m_hFile = handle;
        return TRUE;
    }
    if (error) {
        // A missing folder on create is a bad path, not a missing file.
        const bool named = fileName && *fileName;
        error->m_cause = named && request.create && vantrel::platform::IsMissingFolderOnCreate(code)
                             ? static_cast<int>(CFileException::badPath)
                             : CFileException::OsErrorToException(code);
        error->m_lOsError = code;
        error->m_strFileName = m_strFileName;
    }
    return FALSE;
}

UINT CFile::Read(void* buffer, UINT count) {
    std::size_t done = 0;
    CFileException::ThrowOsError(vantrel::platform::ReadFile(m_hFile, buffer, count, done),
                                 m_strFileName.c_str());
    return static_cast<UINT>(done);
}

void CFile::Write(const void* buffer, UINT count) {
    CFileException::ThrowOsError(vantrel::platform::WriteFile(m_hFile, buffer, count), m_strFileName.c_str());
}

void CFile::Flush() {
    CFileException::ThrowOsError(vantrel::platform::FlushFile(m_hFile), m_strFileName.c_str());
}

void CFile::Close() {
    if (m_hFile == hFileNull) return;
    const int handle = m_hFile;
    m_hFile = hFileNull;
    // Data not yet on the disk must not be reported as saved: a failing close is an error.
    CFileException::ThrowOsError(vantrel::platform::CloseFile(handle), m_strFileName.c_str());
}

void CFile::Abort() {
    if (m_hFile == hFileNull) return;
    vantrel::platform::AbortFile(m_hFile);
    m_hFile = hFileNull;
}
