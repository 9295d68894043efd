// certificate: a board's calibration certificate as HTML and PDF.
#include "Commands.h"
#include "Options.h"

#include "report/Certificate.h"
#include "report/CertificateDocument.h"
#include "report/HtmlText.h"
#include "report/OffscreenApplication.h"

#include <filesystem>
#include <ostream>

namespace vantrel::records::cli {
namespace {

int Certificate(CommandContext& context) {
    std::string base = TakeValue(context.args, "--out");
    if (context.args.size() != 1) throw UsageError{"certificate needs one serial number or record id"};
    const RecordStore store(context.databasePath, RecordStore::OpenMode::ReadOnly);
    auto certificate = report::LoadCertificate(store, context.args.front());
    if (!certificate) {
        context.err << "No board with the serial number and no record with the id "
                    << Printable(context.args.front()) << ": no certificate written.\n";
        return kExitNotFound;
    }
    const auto folder = std::filesystem::path(context.databasePath).parent_path();
    report::AttachMetrology(*certificate, folder.empty() ? "." : folder.string());
    if (base.empty()) base = "certificate-" + report::FileSafe(certificate->number);
    report::EnsureOffscreenApplication();
    if (!report::WriteCertificateFiles(*certificate, base)) {
        context.err << "Cannot write " << Printable(base) << ".html and .pdf.\n";
        return kExitFailure;
    }
    context.out << "Certificate " << certificate->number << ": " << Printable(certificate->status) << '\n'
                << "Written " << Printable(base) << ".html and " << Printable(base) << ".pdf\n";
    return kExitOk;
}

constexpr Command kCommands[] = {
    {"certificate", "[--out BASE] SERIAL|ID",
     "a board's calibration certificate as BASE.html and BASE.pdf\n"
     "      (default BASE: certificate-<certificate number>)",
     Certificate},
};

}  // namespace

std::span<const Command> CertificateCommands() { return kCommands; }

}  // namespace vantrel::records::cli
