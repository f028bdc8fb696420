#include "history/RunJournal.h"

#include <charconv>
#include <optional>
#include <string_view>

namespace history {

namespace {

const std::string_view Header = "qmtaskscheduler2 waiting runs 1\n";

// Each field is its length, ':' and its bytes, so that output with any bytes
// in it needs no escaping.
void Put(std::string& out, std::string_view field) {
    out += std::to_string(field.size());
    out += ':';
    out += field;
}

template <class Number> void PutNumber(std::string& out, Number value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    Put(out, std::string_view(text, static_cast<std::size_t>(end - text)));
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}
    bool AtEnd() const { return rest_.empty(); }

    std::optional<std::string> Field() {
        std::size_t size = 0;
        const auto [end, ec] = std::from_chars(rest_.data(), rest_.data() + rest_.size(), size);
        const std::size_t digits = static_cast<std::size_t>(end - rest_.data());
        if (ec != std::errc() || digits >= rest_.size() || rest_[digits] != ':' ||
            rest_.size() - digits - 1 < size)
            return std::nullopt;
        std::string field(rest_.substr(digits + 1, size));
        rest_.remove_prefix(digits + 1 + size);
        return field;
    }
    template <class T> bool Value(T& value) {
        const std::optional<std::string> text = Field();
        if (!text)
            return false;
        const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
        return ec == std::errc() && end == text->data() + text->size();
    }
    bool Text(std::string& value) {
        std::optional<std::string> text = Field();
        if (text)
            value = std::move(*text);
        return text.has_value();
    }
    bool EndOfRecord() {
        if (rest_.empty() || rest_.front() != '\n')
            return false;
        rest_.remove_prefix(1);
        return true;
    }

private:
    std::string_view rest_;
};

} // namespace

std::string EncodeJournal(const std::vector<TRunRecord>& runs) {
    std::string out(Header);
    for (const TRunRecord& run : runs) {
        PutNumber(out, run.Id);
        Put(out, run.TaskGuid);
        Put(out, run.TaskName);
        Put(out, run.HowStarted);
        PutNumber(out, run.Start);
        PutNumber(out, run.End);
        PutNumber(out, static_cast<int>(run.Outcome));
        PutNumber(out, run.Code);
        Put(out, run.Detail);
        Put(out, run.Output);
        Put(out, run.OutputFile);
        PutNumber(out, run.Tries);
        PutNumber(out, run.ElapsedMs);
        out += '\n';
    }
    return out;
}

std::vector<TRunRecord> DecodeJournal(const std::string& bytes) {
    std::vector<TRunRecord> runs;
    if (!std::string_view(bytes).starts_with(Header))
        return runs;
    Reader in(std::string_view(bytes).substr(Header.size()));
    while (!in.AtEnd()) {
        TRunRecord run;
        int outcome = 0;
        const bool read = in.Value(run.Id) && in.Text(run.TaskGuid) && in.Text(run.TaskName) &&
                          in.Text(run.HowStarted) && in.Value(run.Start) && in.Value(run.End) &&
                          in.Value(outcome) && in.Value(run.Code) && in.Text(run.Detail) &&
                          in.Text(run.Output) && in.Text(run.OutputFile) && in.Value(run.Tries) &&
                          in.Value(run.ElapsedMs) && in.EndOfRecord();
        if (!read || outcome < static_cast<int>(TRunOutcome::Running) ||
            outcome > static_cast<int>(TRunOutcome::Opened))
            break;
        run.Outcome = static_cast<TRunOutcome>(outcome);
        runs.push_back(std::move(run));
    }
    return runs;
}

} // namespace history
