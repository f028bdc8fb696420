#include "scheduler/StartJournal.h"

#include "platform/files.h"
#include "platform/textfile.h"

#include <cerrno>
#include <cmath>
#include <sstream>
#include <unordered_map>

namespace {

// Stamps as whole milliseconds: what the settings file keeps, read back the
// same.
long long Ms(TDateTime value) {
    return std::llround(value * dt::MSecsPerDay);
}

TDateTime FromMs(long long ms) {
    return static_cast<double>(ms) / dt::MSecsPerDay;
}

std::string Line(const char* kind, const TStartClaim& claim) {
    return std::string(kind) + ' ' + claim.Guid + ' ' + std::to_string(Ms(claim.Stamp)) + ' ' +
           std::to_string(Ms(claim.Served)) + ' ' + std::to_string(Ms(claim.Start)) + '\n';
}

} // namespace

TStartJournal::TStartJournal(const std::string& path) : file_(path) {}

TStartJournal::~TStartJournal() {
    if (!holdsRecords_)
        static_cast<void>(platform::DeleteFile(Path()));
}

int TStartJournal::Claim(const std::vector<TStartClaim>& claims) {
    std::string text;
    for (const TStartClaim& claim : claims)
        text += Line("claim", claim);
    written_ += claims.size();
    holdsRecords_ = true;
    return file_.Append(text, true);
}

int TStartJournal::Attempted(const TStartClaim& claim, bool givenUp) {
    ++written_;
    holdsRecords_ = true;
    return file_.Append(Line(givenUp ? "givenup" : "attempted", claim), false);
}

void TStartJournal::Saved(std::uint64_t written) {
    if (written != written_ || !holdsRecords_)
        return;
    if (file_.Clear() == 0)
        holdsRecords_ = false;
}

std::vector<TRecalledClaim> TStartJournal::Read() const {
    std::string text;
    if (const int error = platform::ReadWholeFile(Path(), text); error != 0) {
        // What cannot be read now is not deleted either.
        holdsRecords_ = holdsRecords_ || error != ENOENT;
        return {};
    }
    holdsRecords_ = holdsRecords_ || !text.empty();
    return Parse(text);
}

std::vector<TRecalledClaim> TStartJournal::Parse(const std::string& text) {
    std::vector<TRecalledClaim> recalled;
    // The last claim of each task and stamp, to mark its attempt.
    std::unordered_map<std::string, std::size_t> open;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        TStartClaim claim;
        long long stamp = 0;
        long long served = 0;
        long long start = 0;
        // A line cut short by a crash has fewer fields, or no end of line.
        if (!(fields >> kind >> claim.Guid >> stamp >> served >> start) || in.eof())
            continue;
        claim.Stamp = FromMs(stamp);
        claim.Served = FromMs(served);
        claim.Start = FromMs(start);
        const std::string key = claim.Guid + ' ' + std::to_string(stamp);
        if (kind == "claim") {
            open[key] = recalled.size();
            recalled.push_back({claim, false, false});
        } else if (const auto it = open.find(key); it != open.end()) {
            recalled[it->second].Attempted = true;
            recalled[it->second].GivenUp = kind == "givenup";
            open.erase(it);
        }
    }
    return recalled;
}
