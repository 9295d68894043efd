#pragma once
// A small tmpfs mounted on a fresh folder, for tests of writes that fail on a read-only or a
// full file system. Mounting needs root (or CAP_SYS_ADMIN); where it is refused the test
// is skipped with the reason.

#include <cstddef>
#include <string>

namespace harness {

class SmallTmpfs {
public:
    // Creates the folder at path and mounts a tmpfs of the given size on it.
    SmallTmpfs(const std::string& path, std::size_t bytes);
    ~SmallTmpfs();
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& path() const { return m_path; }
    const std::string& Why() const { return m_why; }

    // Remounts the file system read-only; files already in it stay readable.
    bool MakeReadOnly();
    // Writes a filler file until the file system has no block left.
    bool Fill();

private:
    std::string m_path;
    std::string m_options;
    std::string m_why;
    bool m_mounted = false;
};

}  // namespace harness
