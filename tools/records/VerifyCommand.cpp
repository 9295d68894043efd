// verify: whether the records a certificate was made from still say the same.
#include "Commands.h"
#include "Options.h"

#include "report/Certificate.h"
#include "report/CertificateDigest.h"

#include <ostream>
#include <regex>

namespace vantrel::records::cli {
namespace {

bool IsDigest(const std::string& text) {
    static const std::regex digest("[0-9a-f]{64}");
    return std::regex_match(text, digest);
}

// The number and digest to check: from the command line, or read back from a certificate PDF.
std::optional<report::CertificateStamp> Stamp(CommandContext& context) {
    const std::string pdf = TakeValue(context.args, "--pdf");
    if (pdf.empty()) {
        if (context.args.size() != 2)
            throw UsageError{"verify needs a certificate number and a digest, or --pdf FILE"};
        if (!IsDigest(context.args[1]))
            throw UsageError{"the digest must be 64 lower-case hexadecimal digits"};
        return report::CertificateStamp{context.args[0], context.args[1]};
    }
    if (!context.args.empty()) throw UsageError{"verify --pdf takes no other arguments"};
    const auto text = report::PdfText(pdf);
    const auto stamp = text ? report::FindStamp(*text) : std::nullopt;
    if (!stamp)
        context.err << "Cannot read a certificate number and record digest from " << Printable(pdf) << ".\n";
    return stamp;
}

int Verify(CommandContext& context) {
    const auto stamp = Stamp(context);
    if (!stamp) return kExitFailure;
    const RecordStore store(context.databasePath, RecordStore::OpenMode::ReadOnly);
    // Only a record id numbers a certificate; a serial number would name the board's latest one.
    const auto certificate = report::LoadCertificate(store, stamp->number);
    if (!certificate || certificate->number != stamp->number) {
        context.err << "No certificate numbered " << Printable(stamp->number) << " in these records.\n";
        return kExitNotFound;
    }
    if (certificate->digest != stamp->digest) {
        context.out << "Certificate " << certificate->number
                    << " CHANGED: its records no longer say what the certificate says (digest now "
                    << certificate->digest << ").\n";
        return kExitChanged;
    }
    context.out << "Certificate " << certificate->number << " verified: its records are unchanged.\n";
    return kExitOk;
}

constexpr Command kCommands[] = {
    {"verify", "CERTIFICATE-NUMBER DIGEST | --pdf FILE",
     "whether the records a certificate was made from still give its digest\n"
     "      (exit 0 when they do, 9 when they changed)",
     Verify},
};

}  // namespace

std::span<const Command> VerifyCommands() { return kCommands; }

}  // namespace vantrel::records::cli
