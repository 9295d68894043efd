// A file of the pending folder: any text is a record or is refused with an exception; a
// record read from it writes back as JSON that reads back equal.
#include "FuzzSupport.h"

#include "records/RecordJson.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrel::records;
    const std::string text(reinterpret_cast<const char*>(data), size);
    ActionRecord record;
    try {
        record = RecordFromJson(text);
    } catch (const std::exception&) {
        return 0;  // refused, as the pending folder's reader expects
    }
    const std::string written = RecordToJson(record);
    ActionRecord again;
    try {
        again = RecordFromJson(written);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "a record read from the pending folder does not read back: %s\n", e.what());
        std::abort();
    }
    FUZZ_CHECK(again == record);
    FUZZ_CHECK(RecordToJson(again) == written);
    return 0;
}
