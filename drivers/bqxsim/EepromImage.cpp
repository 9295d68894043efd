#include "EepromImage.h"

#include "AtomicFile.h"
#include "RegularFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vantrel::bqxsim {
namespace {

constexpr std::uint8_t kLayoutVersion = 1;

void PutLe(std::uint8_t* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetLe(const std::uint8_t* at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | at[i];
    return v;
}

}  // namespace

EepromImage::EepromImage() { m_bytes.fill(0xFF); }

std::uint16_t EepromImage::Crc16(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

EepromImage EepromImage::Fresh(int typeCode, std::uint32_t serial, std::uint32_t fpgaRevision, int channels,
                               int referenceCapacity, const std::vector<double>& references) {
    EepromImage image;
    auto* b = image.m_bytes.data();
    b[0] = static_cast<std::uint8_t>(typeCode);
    b[1] = kLayoutVersion;
    PutLe(b + 2, serial, 4);
    PutLe(b + 6, fpgaRevision & 0xFFFF, 2);
    b[8] = static_cast<std::uint8_t>(channels);
    b[9] = static_cast<std::uint8_t>(referenceCapacity);
    image.WriteReferences(references);
    return image;
}

void EepromImage::WriteReferences(const std::vector<double>& references) {
    auto* table = m_bytes.data() + kReferenceTable;
    const int count = static_cast<int>(std::min<std::size_t>(references.size(), kMaxReferences));
    table[0] = static_cast<std::uint8_t>(count);
    for (int i = 0; i < kMaxReferences; ++i) {
        const double v = i < count ? references[static_cast<std::size_t>(i)] : 0.0;
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        PutLe(table + 1 + 8 * i, bits, 8);
    }
    Seal();
}

void EepromImage::Seal() {
    PutLe(m_bytes.data() + kChecksumOffset, Crc16(m_bytes.data(), kChecksumOffset), 2);
}

bool EepromImage::ChecksumValid() const {
    return m_bytes[1] == kLayoutVersion &&
           GetLe(m_bytes.data() + kChecksumOffset, 2) == Crc16(m_bytes.data(), kChecksumOffset) &&
           m_bytes[kReferenceTable] <= kMaxReferences;
}

bool EepromImage::ReadReferences(std::vector<double>& references) const {
    references.clear();
    if (!ChecksumValid()) return false;
    const auto* table = m_bytes.data() + kReferenceTable;
    for (int i = 0; i < table[0]; ++i) {
        const std::uint64_t bits = GetLe(table + 1 + 8 * i, 8);
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        references.push_back(v);
    }
    return true;
}

EepromImage::LoadResult EepromImage::Load(const std::string& path, std::string& error) {
    RegularFile file(path);
    if (file.state() == RegularFile::Status::Missing) return LoadResult::Missing;
    if (file.state() == RegularFile::Status::Refused) {
        error = file.error();
        return LoadResult::Refused;
    }
    std::array<std::uint8_t, kSize + 1> buffer{};
    std::size_t n = 0;
    while (n < buffer.size()) {
        const ssize_t got = file.Read(buffer.data() + n, buffer.size() - n);
        if (got < 0) {
            error = file.error();
            return LoadResult::Refused;
        }
        if (got == 0) break;
        n += static_cast<std::size_t>(got);
    }
    if (n != kSize) return LoadResult::Unreadable;
    std::memcpy(m_bytes.data(), buffer.data(), kSize);
    return LoadResult::Loaded;
}

bool EepromImage::Save(const std::string& path, std::string& error) const {
    return WriteFileAtomically(path, m_bytes.data(), m_bytes.size(), true, error);
}

}  // namespace vantrel::bqxsim
