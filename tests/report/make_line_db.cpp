// Writes a simulated line's records into a record database through the records library:
//   report_line_db DATABASE [BOARDS [SEED [DAYS]]]
#include "SimulatedLine.h"

#include "records/RecordStore.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: report_line_db DATABASE [BOARDS [SEED [DAYS]]]\n");
        return 2;
    }
    reporttest::LineOptions options;
    if (argc > 2) options.boards = std::stoi(argv[2]);
    if (argc > 3) options.seed = static_cast<unsigned>(std::stoul(argv[3]));
    if (argc > 4) options.days = std::stoi(argv[4]);
    vantrel::records::RecordStore store(argv[1]);
    const auto records = reporttest::SimulateLine(options);
    for (const auto& record : records) store.Write(record);
    std::printf("%zu records of %d boards\n", records.size(), options.boards);
    return 0;
}
