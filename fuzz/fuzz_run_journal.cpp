// The journal of run records that waited for the database, on any bytes: it
// reads without fault, and what it reads, written again, reads back the same.
#include "fuzz/FuzzSupport.h"
#include "history/RunJournal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<TRunRecord> runs = history::DecodeJournal(fuzz_support::Text(data, size));
    const std::string written = history::EncodeJournal(runs);
    const std::vector<TRunRecord> again = history::DecodeJournal(written);
    FUZZ_CHECK(again.size() == runs.size());
    // Compared as bytes: a start that reads as NaN is never equal to itself.
    FUZZ_CHECK(history::EncodeJournal(again) == written);
    return 0;
}
