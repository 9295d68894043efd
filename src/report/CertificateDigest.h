#pragma once
// The fingerprint a certificate prints so that it can be checked later: the SHA-256 of a
// canonical text of every record the certificate was made from. Any later change to one of
// those records, or a later EEPROM write the certificate would have to mention, changes it.

#include "report/Certificate.h"

#include <optional>
#include <string>

namespace vantrel::report {

// Every field of the certificate's records, one "key=value" line each, in a fixed order;
// numbers exactly (hexadecimal floating point), line breaks and backslashes escaped.
std::string CanonicalRecords(const Certificate& certificate);

// The SHA-256 of CanonicalRecords, 64 lower-case hexadecimal digits.
std::string RecordDigest(const Certificate& certificate);

// What a certificate's text says of itself: its number and digest.
struct CertificateStamp {
    std::string number;
    std::string digest;
};

// The number and digest printed in a certificate's text (as pdftotext gives it); none when
// either is missing.
std::optional<CertificateStamp> FindStamp(const std::string& text);

// The text of a PDF read by pdftotext; none when it cannot be read.
std::optional<std::string> PdfText(const std::string& path);

}  // namespace vantrel::report
