#pragma once
// The board's 128-byte EEPROM and the file that keeps it between runs.
//
// Layout (multi-byte values little-endian):
//   0       board type code
//   1       layout version (1)
//   2-5     serial number
//   6-7     FPGA revision
//   8       analog channel count
//   9       reference capacity of the model
//   10-15   0xFF
//   16      number of references stored
//   17-72   seven reference voltages, IEEE doubles
//   73-74   CRC-16 (CCITT, initial 0xFFFF) of bytes 0-72
//   75-127  0xFF (erased)

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::bqxsim {

class EepromImage {
public:
    static constexpr int kSize = 128;
    static constexpr int kReferenceTable = 16;
    static constexpr int kMaxReferences = 7;
    static constexpr int kChecksumOffset = 73;

    // Missing: no file yet. Unreadable: a file of the wrong size, read as a corrupt EEPROM.
    // Refused: a file that cannot be opened or read, or that is not a regular file.
    enum class LoadResult { Loaded, Missing, Unreadable, Refused };

    EepromImage();

    // A factory-fresh image with the given identity and references.
    static EepromImage Fresh(int typeCode, std::uint32_t serial, std::uint32_t fpgaRevision, int channels,
                             int referenceCapacity, const std::vector<double>& references);

    // On Refused, error names the file and the reason.
    LoadResult Load(const std::string& path, std::string& error);
    bool Save(const std::string& path, std::string& error) const;

    std::uint8_t Byte(int address) const { return m_bytes[static_cast<std::size_t>(address)]; }
    const std::array<std::uint8_t, kSize>& Bytes() const { return m_bytes; }
    int typeCode() const { return m_bytes[0]; }

    // False when the identity or the table fails its checksum or is out of range.
    bool ChecksumValid() const;
    bool ReadReferences(std::vector<double>& references) const;

    // Stores the table and refreshes the identity and checksum.
    void WriteReferences(const std::vector<double>& references);

    static std::uint16_t Crc16(const std::uint8_t* data, std::size_t size);

private:
    void Seal();

    std::array<std::uint8_t, kSize> m_bytes;
};

}  // namespace vantrel::bqxsim
