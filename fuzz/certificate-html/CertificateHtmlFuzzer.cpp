// No record text ever becomes an HTML element: a board's certificate page has the same
// elements, in the same order, whatever its texts say.
#include "RecordFromInput.h"

#include "report/Certificate.h"
#include "report/CertificateDocument.h"

#include <cctype>
#include <vector>

namespace {

using vantrel::records::ActionRecord;

// The element names of a page in order ("p", "/p", "!DOCTYPE", ...).
std::vector<std::string> TagsOf(const std::string& html) {
    std::vector<std::string> tags;
    for (std::size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        std::size_t end = at + 1;
        while (end < html.size() &&
               (std::isalnum(static_cast<unsigned char>(html[end])) || html[end] == '/' || html[end] == '!'))
            ++end;
        tags.push_back(html.substr(at + 1, end - at - 1));
    }
    return tags;
}

// The same record with every free text replaced by a plain word.
ActionRecord Plain(ActionRecord r) {
    for (std::string* text : {&r.id, &r.bench.host, &r.bench.folder, &r.bench.toolVersion,
                              &r.bench.driverVersion, &r.bench.operatorLogin, &r.board.model,
                              &r.board.serialNumber, &r.startedUtc, &r.endedUtc, &r.verdict, &r.consoleText})
        *text = "x";
    return r;
}

std::string Page(const ActionRecord& r) {
    return vantrel::report::CertificateHtml(vantrel::report::MakeCertificate({r}, r));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput in(data, size);
    ActionRecord record = fuzz::RecordFromInput(in);
    // The meter model decides whether a board counts as calibrated: kept, with the kinds and
    // figures that decide the page's sections.
    const ActionRecord plain = Plain(record);
    FUZZ_CHECK(TagsOf(Page(record)) == TagsOf(Page(plain)));
    return 0;
}
