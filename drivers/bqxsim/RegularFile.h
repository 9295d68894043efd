#pragma once
// A regular file opened for reading, the one way the simulated bench opens the files it
// reads (the bench description and the EEPROM image): never blocking on a FIFO in the
// file's place, refusing anything that is not a regular file, closed with the object.

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace vantrel::bqxsim {

class RegularFile {
public:
    enum class Status { Open, Missing, Refused };

    explicit RegularFile(const std::string& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    Status state() const { return m_status; }
    // When refused: the path and errno's text, or "not a regular file".
    const std::string& error() const { return m_error; }
    // Like read(2), retried when a signal interrupts it; on failure error() says why.
    ssize_t Read(void* buffer, std::size_t size);

private:
    std::string m_path;
    int m_fd = -1;
    Status m_status = Status::Refused;
    std::string m_error;
};

}  // namespace vantrel::bqxsim
