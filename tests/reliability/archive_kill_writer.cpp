// Writes one archive record after another into the file named on the command line, each in a
// transaction of its own through the program's database code, until it is killed. Each run goes
// on after the newest record. A record's values follow from its time, so that a check can tell a
// whole record from a half-written one: OutTemp is dateTime % 1000 / 2, two sets, five minutes.
#include <cstdio>

#include "database/archive_database.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::string error;
    const auto db = ombrix::ArchiveDatabase::Open(argv[1], error, true, 1000);
    if (!db) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const std::optional<ombrix::ArchiveRecord> last = db->Last();
    std::int64_t t = last ? last->DateTime : 1'800'000'000;
    // Bounded, should the kill never come.
    for (int n = 0; n < 100000; ++n) {
        t += 300;
        ombrix::IntervalSums sums;
        sums.DateTime = t;
        sums.IntervalSeconds = 300;
        sums.Means[0] = {static_cast<double>(t % 1000), 2};
        sums.SetCount = 2;
        const ombrix::ArchiveDatabase::Result result = db->Write(sums);
        if (result.State != ombrix::ArchiveDatabase::Status::Ok) {
            std::fprintf(stderr, "%s\n", result.Message.c_str());
            return 1;
        }
    }
    return 0;
}
