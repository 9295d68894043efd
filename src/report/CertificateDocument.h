#pragma once
// A certificate as a self-contained HTML page and as a PDF made from the same text; the PDF
// names the certificate and gives "page x of y" on every page.

#include "report/Certificate.h"

#include <string>

namespace vantrel::report {

// The page; `stylesheet` names a style sheet beside it, or is empty for styles inline.
// The page shows each channel's uncertainty budget in full; with `brief` (the PDF's text)
// only U per channel.
std::string CertificateHtml(const Certificate& certificate, const std::string& stylesheet = {},
                            bool brief = false);

// Writes the PDF (A4) through Qt's text document and PDF writer. Needs a Qt application
// (OffscreenApplication). Returns false when the file cannot be written.
bool WriteCertificatePdf(const Certificate& certificate, const std::string& path);

// Writes `<base>.html` and `<base>.pdf`; false when either cannot be written.
bool WriteCertificateFiles(const Certificate& certificate, const std::string& base);

}  // namespace vantrel::report
