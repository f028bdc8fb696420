#include "settings/classQMTaskSchedulerSettings.h"

#include "lib/AsciiText.h"
#include "lib/DateTimeUtil.h"
#include "lib/InOutError.h"
#include "lib/QMException.h"
#include "lib/classQMSystemDirectories.h"
#include "lib/classQMTaskSchedulerUtils.h"
#include "platform/files.h"
#include "platform/textfile.h"
#include "scheduler/StartJournal.h"
#include "scheduler/TaskLog.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdio>
#include <functional>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

namespace {

const char* const PreferencesSection = "QMTaskScheduler";
const char* const TasksSectionPrefix = "Tasks\\";
const char* const LogFileBaseName = "qmtaskscheduler2.log";
// Starts made durable between two saves.
const char* const StartJournalBaseName = "qmtaskscheduler2.starts";

// The keys of a task section, in the order they are written and read; each
// names one field of the task. Optional keys are written only when they
// differ from their default, so that a task without them reads as before.
struct TTaskKey {
    std::string_view Name;
    std::string TQMTask::*Text = nullptr;
    bool TQMTask::*Flag = nullptr;
    TDateTime TQMTask::*Stamp = nullptr;
    int TQMTask::*Number = nullptr;
    bool Optional = false;
    // A key of this program's own: a value that cannot be read is absent,
    // and a stamp after the moment of loading counts as that moment, where
    // it would hide missed starts or skip runs until then. The keys of the
    // file format proper keep their reading.
    bool Own = false;
};

const TTaskKey TaskKeys[] = {
    {"taskname", &TQMTask::TaskName},
    {"guid", &TQMTask::Guid},
    {"taskfilename", &TQMTask::TaskFileName},
    {"taskparameters", &TQMTask::TaskParameters},
    {"active", nullptr, &TQMTask::Active},
    {"weekly", nullptr, &TQMTask::Weekly},
    {"daily", nullptr, &TQMTask::Daily},
    {"one_shot", nullptr, &TQMTask::OneShot},
    {"datetime", nullptr, nullptr, &TQMTask::DateTime},
    {"monday", nullptr, &TQMTask::Monday},
    {"tuesday", nullptr, &TQMTask::Tuesday},
    {"wednesday", nullptr, &TQMTask::Wednesday},
    {"thursday", nullptr, &TQMTask::Thursday},
    {"friday", nullptr, &TQMTask::Friday},
    {"saturday", nullptr, &TQMTask::Saturday},
    {"sunday", nullptr, &TQMTask::Sunday},
    {"datetime_lastexecuted", nullptr, nullptr, &TQMTask::DateTimeLastExecuted},
    // Older versions ignore these three and drop them when they save.
    {"schedulechanged", nullptr, nullptr, &TQMTask::ScheduleChanged, nullptr, false, true},
    {"catchup", nullptr, &TQMTask::CatchUp, nullptr, nullptr, false, true},
    {"occurrence_served", nullptr, nullptr, &TQMTask::OccurrenceServed, nullptr, false, true},
    {"timelimit", nullptr, nullptr, nullptr, &TQMTask::TimeLimitMinutes, true, true},
    // The missed start a catch-up is owed for, until it runs or is told.
    {"catchup_owed", nullptr, nullptr, &TQMTask::CatchUpOwed, nullptr, true, true},
    {"startin", &TQMTask::StartIn, nullptr, nullptr, nullptr, true, true},
    {"lastresult", &TQMTask::LastResult, nullptr, nullptr, nullptr, true, true},
    {"lastrunfailed", nullptr, &TQMTask::LastRunFailed, nullptr, nullptr, true, true},
};
constexpr std::size_t TaskKeyCount = std::size(TaskKeys);

// The preferences, in the order they are written.
struct TPreferenceKey {
    const char* Name;
    bool TQMTaskSchedulerSettings::*Flag;
};
const TPreferenceKey PreferenceKeys[] = {
    {"askwhenclose", &TQMTaskSchedulerSettings::AskWhenClose},
    {"askwhenexecutetaskmanually", &TQMTaskSchedulerSettings::AskWhenExecuteTaskManually},
    {"keeprunning", &TQMTaskSchedulerSettings::KeepRunning},
    {"startatlogin", &TQMTaskSchedulerSettings::StartAtLogin},
};
// When the program last ran; written with every save.
const char* const LastRunningKey = "lastrunning";

std::uint64_t Mix(std::uint64_t hash, std::uint64_t value) {
    return (std::rotl(hash, 5) ^ value) * 0x9E3779B97F4A7C15ULL;
}

// Changes whenever a value the task's section shows changes.
std::uint64_t Fingerprint(const TQMTask& task) {
    std::uint64_t hash = 0;
    for (const TTaskKey& key : TaskKeys) {
        if (key.Text != nullptr) {
            const std::string& text = task.*key.Text;
            hash = Mix(Mix(hash, std::hash<std::string>{}(text)), text.size());
        } else if (key.Flag != nullptr) {
            hash = Mix(hash, task.*key.Flag ? 1 : 2);
        } else if (key.Number != nullptr) {
            hash = Mix(hash, static_cast<std::uint64_t>(task.*key.Number));
        } else {
            hash = Mix(hash, std::bit_cast<std::uint64_t>(task.*key.Stamp));
        }
    }
    return hash;
}

// Identifiers compare without letter case, as section names do; these
// need no lower-cased copy of each.
struct TNoCaseHash {
    std::size_t operator()(std::string_view text) const {
        std::uint64_t hash = 0xCBF29CE484222325ULL;
        for (const char c : text)
            hash = (hash ^ static_cast<unsigned char>(ascii::ToLower(c))) * 0x100000001B3ULL;
        return static_cast<std::size_t>(hash);
    }
};
struct TNoCaseEqual {
    bool operator()(std::string_view a, std::string_view b) const {
        return ascii::EqualsNoCase(a, b);
    }
};

std::uint64_t GuidKeyOf(const std::string& guid) {
    return TNoCaseHash{}(guid);
}

// A whole number of minutes between 0 and a year, blanks around it; nothing
// for anything else (a sign, a fraction, text, a number beyond a year).
std::optional<int> ParseMinutes(std::string_view text) {
    const std::string_view t = ascii::TrimView(text);
    if (t.empty())
        return std::nullopt;
    int value = 0;
    for (char c : t) {
        if (c < '0' || c > '9' || value > 525600 / 10)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 525600)
        return std::nullopt;
    return value;
}

// A stamp of one of this program's keys: nothing when it cannot be read,
// and never later than `now`.
std::optional<TDateTime> ParseOwnStamp(std::string_view text, TDateTime now) {
    TDateTime value = 0;
    if (!TQMSettings::TryParseDateTimeStamp(text, value))
        return std::nullopt;
    return std::min(value, now);
}

bool IsDefault(const TTaskKey& key, const TQMTask& task) {
    if (key.Text != nullptr)
        return (task.*key.Text).empty();
    if (key.Flag != nullptr)
        return !(task.*key.Flag);
    if (key.Number != nullptr)
        return task.*key.Number == 0;
    return task.*key.Stamp == 0;
}

// An identifier names the task's section in a header line: anything but
// 40 hexadecimal digits (a "]", a blank, a hand-made short name) may not
// come back from it, so such an identifier is replaced at the next save.
bool IsTaskIdentifier(const std::string& guid) {
    return guid.size() == 40 && std::all_of(guid.begin(), guid.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
           });
}

} // namespace

TQMTaskSchedulerSettings::TQMTaskSchedulerSettings(TQMTaskScheduler& taskList)
    : taskList_(taskList), settings_(std::make_unique<TQMSettings>()) {
    settings_->IniType = "qmtaskscheduler";
    settings_->FileName = "qmtaskscheduler2.ini";
    settings_->ProgramFolder = platform::ProgramFolder();
    // Without a known data folder there is no user folder: a relative one
    // would be whatever folder the program was started in.
    const std::string data = TQMSystemDirectories::GetLocalAppDataFolder();
    settings_->UserFolder = data.empty() ? std::string() : data + "Quillmar/QMTaskScheduler/";
    SetDefaults();
    // Every task run hands its log line to this store.
    SetTaskLogHandler([this](const std::string& line) { Log(line); });
}

TQMTaskSchedulerSettings::~TQMTaskSchedulerSettings() {
    SetTaskLogHandler({});
    taskList_.UseStartJournal(nullptr);
}

TQMSettings& TQMTaskSchedulerSettings::Settings() const {
    return *settings_;
}

void TQMTaskSchedulerSettings::SetDefaults() {
    AskWhenClose = true;
    AskWhenExecuteTaskManually = true;
    // Files written before these two existed load with both off.
    KeepRunning = false;
    StartAtLogin = false;
}

namespace {

TStoreResult Failure(const Exception& e) {
    const auto* io = dynamic_cast<const EInOutError*>(&e);
    if (io == nullptr || io->OsError == 0)
        return {false, e.Message, {}};
    return {false, e.Message, std::generic_category().message(io->OsError)};
}

} // namespace

TStoreResult TQMTaskSchedulerSettings::Load() {
    try {
        // Only "no file there" means no settings: a folder in the file's
        // place or a folder that cannot be searched is a failure to report.
        const std::string chosen = settings_->ChosenFileName();
        if (const int error = platform::FileLookupError(chosen))
            throw io::MakeInOutError(error, false, "Cannot open file \"" + chosen + "\". ");
        if (platform::IsSpecialFile(chosen))
            throw Exception("Cannot open file \"" + chosen +
                            "\". It is no regular file (a device, a pipe or a socket) and is "
                            "never written.");
        settings_->Load();
        unreadableFile_.clear();
        ReadFromSettings();
        OpenStartJournal();
        // What was read stays loaded; the file itself is set aside before
        // the first save over it, as an unreadable one is.
        if (!settings_->UnreadContent().empty()) {
            unreadableFile_ = chosen;
            return {false,
                    "The settings file \"" + chosen + "\" could not be read whole (" +
                        settings_->UnreadContent() + "); what could be read was loaded",
                    {}};
        }
    } catch (const Exception& e) {
        // What is there but could not be read must survive the next save;
        // remember it so that Save can set it aside first (when it is there
        // by then).
        unreadableFile_ = settings_->ChosenFileName();
        OpenStartJournal();
        return Failure(e);
    }
    return {};
}

void TQMTaskSchedulerSettings::OpenStartJournal() {
    const std::string folder = settings_->ChosenFolder();
    if (folder.empty())
        return;
    journal_ = std::make_unique<TStartJournal>(folder + StartJournalBaseName);
    taskList_.RecallClaims(journal_->Read());
    taskList_.UseStartJournal(journal_.get());
}

TStoreResult TQMTaskSchedulerSettings::Save() {
    std::shared_ptr<const TSaveSnapshot> snapshot;
    try {
        snapshot = TakeSnapshot();
    } catch (const Exception& e) {
        return Failure(e);
    }
    TStoreResult result = WriteSnapshot(*snapshot);
    if (result)
        SnapshotWritten(*snapshot);
    return result;
}

void TQMTaskSchedulerSettings::SnapshotWritten(const TSaveSnapshot& snapshot) {
    if (journal_)
        journal_->Saved(snapshot.JournalRecords);
}

std::shared_ptr<const TSaveSnapshot> TQMTaskSchedulerSettings::TakeSnapshot() {
    // The lines of the last load are not the file any more; a large file's
    // section list is not kept beside the rendered sections (its text is,
    // as long as sections point into it).
    settings_->Clear();
    settings_->ReleaseSections();
    if (!RenderChangedSections())
        RenderAllSections();
    auto snapshot = std::make_shared<TSaveSnapshot>();
    // The stamps of every start claimed so far are rendered below.
    snapshot->JournalRecords = journal_ ? journal_->Written() : 0;
    auto preferences = std::make_shared<const std::string>(RenderPreferences());
    snapshot->Pieces.reserve(order_.size() + 1);
    snapshot->Pieces.push_back(*preferences);
    snapshot->Keep.push_back(std::move(preferences));
    if (loadedText_)
        snapshot->Keep.push_back(loadedText_);
    for (const TListedSection& listed : order_) {
        snapshot->Pieces.push_back(listed.Section->Text);
        if (listed.Section->Rendered)
            snapshot->Keep.push_back(listed.Section->Rendered);
    }
    return snapshot;
}

TStoreResult TQMTaskSchedulerSettings::WriteSnapshot(const TSaveSnapshot& snapshot) {
    try {
        // A file that is set aside as unreadable needs no second look.
        const bool unreadable = !unreadableFile_.empty();
        if (!KeepUnreadableFile())
            return {false,
                    "The settings file " + unreadableFile_ +
                        " could not be read and could not be set aside; it is kept "
                        "unchanged.",
                    {}};
        if (!unreadable && !KeepChangedFile())
            return {false,
                    "The settings file " + settings_->ChosenFileName() +
                        " was changed by another program and could not be set aside; it is "
                        "kept unchanged.",
                    {}};
        settings_->SavePieces(snapshot.Pieces);
    } catch (const Exception& e) {
        return Failure(e);
    }
    return {};
}

bool TQMTaskSchedulerSettings::KeepUnreadableFile() {
    if (unreadableFile_.empty())
        return true;
    // A device or a pipe is neither replaced nor moved.
    if (platform::IsSpecialFile(unreadableFile_))
        return false;
    const bool lookedUp = platform::FileLookupError(unreadableFile_) == 0;
    if (lookedUp && !platform::FileExists(unreadableFile_)) {
        unreadableFile_.clear(); // nothing there (any more) to lose
        return true;
    }
    // Still hidden (a folder that cannot be searched): writing would replace
    // a file nobody has seen.
    if (!lookedUp && !platform::DirectoryExists(unreadableFile_))
        return false;
    if (!SetAside(unreadableFile_, ".unreadable-", setAsideFile_))
        return false;
    unreadableFile_.clear();
    return true;
}

bool TQMTaskSchedulerSettings::KeepChangedFile() {
    const std::string file = settings_->ChosenFileName();
    const platform::FileStamp now = platform::StampOf(file);
    // Gone is no change to keep: the save writes a new file.
    if (!now.Exists || now == settings_->LastFileStamp())
        return true;
    return SetAside(file, ".changed-", changedFile_);
}

bool TQMTaskSchedulerSettings::SetAside(const std::string& file, const char* suffix,
                                        std::string& keptName) {
    const bool inProgramFolder = file == settings_->ProgramFolderFileName();
    const std::string stamped = file + suffix + dt::FormatDateTime("yyyymmdd-hhnnsszzz", dt::Now());
    // Two in one millisecond must not share a name: the rename would drop
    // the first.
    std::string name = stamped;
    for (int n = 2; n < 100 && platform::StampOf(name).Exists; ++n)
        name = stamped + "-" + std::to_string(n);
    if (std::rename(file.c_str(), name.c_str()) != 0)
        return false;
    keptName = name;
    // The file in the program folder decides where settings live; an empty
    // placeholder keeps that choice for the save that follows.
    // It is a new file, so it is made for its owner only, like any new
    // settings file.
    return !inProgramFolder || platform::WriteFileAtomically(file, std::string()) == 0;
}

void TQMTaskSchedulerSettings::ReadFromSettings() {
    SetDefaults();
    // Read from the section's own lines, as the tasks are: a lookup by name
    // would index every section of the file first.
    std::array<std::optional<std::string_view>, std::size(PreferenceKeys)> flags;
    std::optional<std::string_view> lastRunningText;
    if (const TQMSettingsSection* section = settings_->FirstSection(PreferencesSection))
        settings_->ReadSectionKeys(*section, [&](std::string_view name, std::string_view value) {
            // The first line of a key wins.
            for (std::size_t k = 0; k < flags.size(); ++k)
                if (ascii::EqualsNoCase(name, PreferenceKeys[k].Name) && !flags[k])
                    flags[k] = value;
            if (ascii::EqualsNoCase(name, LastRunningKey) && !lastRunningText)
                lastRunningText = value;
        });
    for (std::size_t k = 0; k < flags.size(); ++k)
        if (flags[k])
            static_cast<void>(TQMSettings::ParseBool(*flags[k], this->*PreferenceKeys[k].Flag));
    std::optional<TDateTime> lastRunning;
    if (lastRunningText)
        lastRunning = ParseOwnStamp(*lastRunningText, dt::Now());
    ReadTasks();
    // Without the stamp (a new or an older file, or one that cannot be read)
    // every task counts from now.
    if (lastRunning)
        taskList_.LookForStartsMissedSince(*lastRunning);
}

void TQMTaskSchedulerSettings::WriteToSettings() {
    settings_->Clear();
    for (const TPreferenceKey& key : PreferenceKeys)
        settings_->WriteBool(PreferencesSection, key.Name, this->*key.Flag);
    settings_->WriteDateTime(PreferencesSection, LastRunningKey, taskList_.LookedUntil(dt::Now()));
    WriteTasks();
}

std::string TQMTaskSchedulerSettings::RenderPreferences() const {
    std::string text;
    TQMSettings::AppendHeaderLine(text, PreferencesSection, true);
    for (const TPreferenceKey& key : PreferenceKeys)
        TQMSettings::AppendKeyLine(text, key.Name, this->*key.Flag ? "1" : "0");
    // The program ran, and looked for starts, until then: a start after it
    // that no run stands for was missed while the program was not running.
    std::string stamp;
    TQMSettings::AppendStamp(stamp, taskList_.LookedUntil(dt::Now()));
    TQMSettings::AppendKeyLine(text, LastRunningKey, stamp);
    return text;
}

namespace {

// A task's section as a save writes it: its blank line, header and keys.
void RenderSectionText(const TQMTask& task, std::string& text) {
    TQMSettings::AppendHeaderLine(text, TasksSectionPrefix + task.Guid, false);
    for (const TTaskKey& key : TaskKeys) {
        if (key.Optional && IsDefault(key, task))
            continue;
        if (key.Text != nullptr) {
            TQMSettings::AppendKeyLine(text, key.Name, task.*key.Text);
        } else if (key.Flag != nullptr) {
            TQMSettings::AppendKeyLine(text, key.Name, task.*key.Flag ? "1" : "0");
        } else if (key.Number != nullptr) {
            TQMSettings::AppendKeyLine(text, key.Name, std::to_string(task.*key.Number));
        } else {
            // The key names are written as they stand, and a stamp has no
            // line break: the line is built in place.
            text += key.Name;
            text += '=';
            TQMSettings::AppendStamp(text, task.*key.Stamp);
            text += "\r\n";
        }
    }
}

// The length of what RenderSectionText writes for the task when `bytes`
// begin with exactly that, else 0; compared in place, since a load checks
// every section.
std::size_t RenderedLength(const TQMTask& task, std::string_view bytes) {
    std::size_t at = 0;
    const auto take = [&](std::string_view expected) {
        if (bytes.substr(at, expected.size()) != expected)
            return false;
        at += expected.size();
        return true;
    };
    if (!take("\r\n[tasks\\") || bytes.size() < at + task.Guid.size())
        return 0;
    for (const char c : task.Guid)
        if (bytes[at++] != ascii::ToLower(c))
            return 0;
    if (!take("]\r\n"))
        return 0;
    char number[16];
    for (const TTaskKey& key : TaskKeys) {
        if (key.Optional && IsDefault(key, task))
            continue;
        if (!take(key.Name) || !take("="))
            return 0;
        if (key.Text != nullptr) {
            // A save writes line breaks and NUL as blanks; a loaded line
            // holds neither LF nor NUL, but may hold a lone CR.
            const std::string& value = task.*key.Text;
            if (value.find('\r') != std::string::npos || !take(value))
                return 0;
        } else if (key.Flag != nullptr) {
            if (!take(task.*key.Flag ? "1" : "0"))
                return 0;
        } else if (key.Number != nullptr) {
            const auto end = std::to_chars(number, number + sizeof number, task.*key.Number).ptr;
            if (!take(std::string_view(number, static_cast<std::size_t>(end - number))))
                return 0;
        } else {
            // The digits AppendStamp gives: the value's fields, zero-padded.
            const std::string_view stamp = bytes.substr(at, 18);
            const dt::DateTimeFields f = dt::DecodeDateTime(task.*key.Stamp);
            const int fields[] = {f.Year,
                                  f.Month,
                                  f.Day,
                                  f.Hour,
                                  f.Minute,
                                  f.Second,
                                  f.Millisecond > 999 ? 0 : f.Millisecond};
            const int widths[] = {4, 2, 2, 2, 2, 2, 3};
            if (stamp.size() != 18 || stamp[8] != '-')
                return 0;
            std::size_t digit = 0;
            for (std::size_t i = 0; i < std::size(fields); ++i) {
                if (digit == 8)
                    ++digit;
                int value = fields[i];
                if (value < 0)
                    return 0;
                for (int w = widths[i] - 1; w >= 0; --w) {
                    if (stamp[digit + static_cast<std::size_t>(w)] != '0' + value % 10)
                        return 0;
                    value /= 10;
                }
                if (value != 0)
                    return 0;
                digit += static_cast<std::size_t>(widths[i]);
            }
            at += 18;
        }
        if (!take("\r\n"))
            return 0;
    }
    return at;
}

} // namespace

void TQMTaskSchedulerSettings::RenderSection(TQMTask& task, TSectionText& section) {
    // A new string each time: a snapshot being written may hold the old one.
    auto text = std::make_shared<std::string>();
    RenderSectionText(task, *text);
    text->shrink_to_fit();
    section.Text = *text;
    section.Rendered = std::move(text);
    section.Fingerprint = Fingerprint(task);
    section.GuidKey = GuidKeyOf(task.Guid);
    ++renderedSections_;
}

void TQMTaskSchedulerSettings::KeepLoadedSection(const TQMSettingsSection& entry,
                                                 const TQMTask& task) {
    if (!loadedText_ || !IsTaskIdentifier(task.Guid))
        return;
    // Two sections of one identifier: the save decides which keeps it.
    const std::uint64_t guidKey = GuidKeyOf(task.Guid);
    if (guidOwners_.contains(guidKey))
        return;
    // The rendering starts with the blank line before the header.
    const std::string& text = *loadedText_;
    const auto base = reinterpret_cast<std::uintptr_t>(text.data());
    const auto header = reinterpret_cast<std::uintptr_t>(
        settings_->Lines.View(static_cast<std::size_t>(entry.LineIndex)).data());
    if (header < base + 2 || header > base + text.size())
        return;
    const std::size_t at = header - base - 2;
    const std::size_t length = RenderedLength(task, std::string_view(text).substr(at));
    if (length == 0)
        return;
    TSectionText& section = sections_[&task];
    section.Text = std::string_view(text).substr(at, length);
    section.Fingerprint = Fingerprint(task);
    section.GuidKey = guidKey;
    section.Seen = saves_;
    guidOwners_[guidKey] = &task;
    order_.push_back({&task, &section});
}

bool TQMTaskSchedulerSettings::RenderChangedSections() {
    ++saves_;
    std::vector<TListedSection> order;
    order.reserve(static_cast<std::size_t>(taskList_.Count()));
    // Where the next task stood at the last save: the list mostly keeps its
    // order, and one task added or removed shifts the rest by one.
    std::size_t expected = 0;
    for (int i = 0; i < taskList_.Count(); ++i) {
        TQMTask& task = *taskList_.GetTask(i);
        TSectionText* known = nullptr;
        for (const std::size_t at : {expected, expected + 1})
            if (at < order_.size() && order_[at].Task == &task) {
                known = order_[at].Section;
                expected = at + 1;
                break;
            }
        bool added = false;
        if (known == nullptr) {
            const auto [it, inserted] = sections_.try_emplace(&task);
            known = &it->second;
            added = inserted;
        }
        TSectionText& section = *known;
        section.Seen = saves_;
        order.push_back({&task, &section});
        if (!added && section.Fingerprint == Fingerprint(task))
            continue;
        if (!IsTaskIdentifier(task.Guid))
            task.Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
        // Another task's section carries this identifier: which of the two
        // keeps it depends on their order, which a full render settles.
        const std::uint64_t guidKey = GuidKeyOf(task.Guid);
        const auto owner = guidOwners_.find(guidKey);
        if (owner != guidOwners_.end() && owner->second != &task)
            return false;
        if (!added) {
            const auto old = guidOwners_.find(section.GuidKey);
            if (old != guidOwners_.end() && old->second == &task)
                guidOwners_.erase(old);
        }
        RenderSection(task, section);
        guidOwners_[guidKey] = &task;
    }
    order_ = std::move(order);
    // The sections of tasks no longer listed go, and with them their claim
    // on an identifier.
    if (order_.size() != sections_.size()) {
        for (auto it = sections_.begin(); it != sections_.end();) {
            if (it->second.Seen == saves_) {
                ++it;
                continue;
            }
            const auto owner = guidOwners_.find(it->second.GuidKey);
            if (owner != guidOwners_.end() && owner->second == it->first)
                guidOwners_.erase(owner);
            it = sections_.erase(it);
        }
    }
    return true;
}

void TQMTaskSchedulerSettings::RenderAllSections() {
    // As WriteTasks: in list order, a later task gives up a clashing identifier.
    sections_.clear();
    guidOwners_.clear();
    order_.clear();
    std::unordered_set<std::string_view, TNoCaseHash, TNoCaseEqual> used;
    used.reserve(static_cast<std::size_t>(taskList_.Count()));
    for (int i = 0; i < taskList_.Count(); ++i) {
        TQMTask& task = *taskList_.GetTask(i);
        if (!IsTaskIdentifier(task.Guid))
            task.Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
        // A view of the identifier stays valid: only one that is not in the
        // set yet is replaced.
        while (!used.insert(task.Guid).second)
            task.Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
        TSectionText& section = sections_[&task];
        RenderSection(task, section);
        section.Seen = saves_;
        guidOwners_[section.GuidKey] = &task;
        order_.push_back({&task, &section});
    }
}

void TQMTaskSchedulerSettings::ReadTasks() {
    // What the last save rendered belongs to tasks about to go; the first
    // save after this load writes what the file holds where it can.
    sections_.clear();
    order_.clear();
    guidOwners_.clear();
    loadedText_ = settings_->Lines.SharedText();
    sections_.reserve(static_cast<std::size_t>(settings_->SectionCount()));
    guidOwners_.reserve(static_cast<std::size_t>(settings_->SectionCount()));
    taskList_.ClearTasks();
    for (int i = 0; i < settings_->SectionCount(); ++i) {
        const TQMSettingsSection& section = settings_->Section(i);
        // A line that starts like a header but is none adds no task.
        if (!section.IsSubsectionOf("tasks") || !settings_->HasKeys(section))
            continue;
        TQMTask& task = *taskList_.AddNewTask();
        ReadTaskSection(section, task);
        KeepLoadedSection(section, task);
    }
}

void TQMTaskSchedulerSettings::WriteTasks() {
    std::unordered_set<std::string> used;
    used.reserve(static_cast<std::size_t>(taskList_.Count()));
    for (int i = 0; i < taskList_.Count(); ++i) {
        TQMTask* task = taskList_.GetTask(i);
        if (!IsTaskIdentifier(task->Guid))
            task->Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
        // Two tasks with one identifier would share a section and one would
        // be lost at the next load: the later one gets a new identifier.
        // Section names are compared without letter case, so identifiers are.
        while (!used.insert(ascii::Lower(task->Guid)).second)
            task->Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
        WriteTask(*task);
    }
}

void TQMTaskSchedulerSettings::ReadTask(const std::string& sectionName, TQMTask& task) {
    TQMSettings& s = *settings_;
    for (const TTaskKey& key : TaskKeys) {
        if (key.Text != nullptr) {
            s.ReadString(sectionName, std::string(key.Name), task.*key.Text);
        } else if (key.Flag != nullptr) {
            s.ReadBool(sectionName, std::string(key.Name), task.*key.Flag);
        } else if (key.Number != nullptr) {
            std::string text;
            s.ReadString(sectionName, std::string(key.Name), text);
            task.*key.Number = ParseMinutes(text).value_or(0);
        } else if (key.Own) {
            std::string text;
            if (!s.ReadString(sectionName, std::string(key.Name), text))
                continue;
            if (const auto stamp = ParseOwnStamp(text, dt::Now()))
                task.*key.Stamp = *stamp;
        } else {
            s.ReadDateTime(sectionName, std::string(key.Name), task.*key.Stamp);
        }
    }
}

void TQMTaskSchedulerSettings::ReadTaskSection(const TQMSettingsSection& section, TQMTask& task) {
    // One pass over the section's own lines; the first line of a key wins,
    // as for a lookup by name. A name that heads two sections thus gives two
    // tasks, each with its own values.
    std::array<std::optional<std::string_view>, TaskKeyCount> found;
    // Keys mostly come in the order they are written: the search starts
    // after the key of the line before.
    std::size_t next = 0;
    settings_->ReadSectionKeys(section,
                               [&found, &next](std::string_view name, std::string_view value) {
                                   for (std::size_t i = 0; i < TaskKeyCount; ++i) {
                                       const std::size_t k = (next + i) % TaskKeyCount;
                                       if (ascii::EqualsNoCase(name, TaskKeys[k].Name)) {
                                           if (!found[k])
                                               found[k] = value;
                                           next = k + 1;
                                           return;
                                       }
                                   }
                               });
    // Read once, and only for a section that has a stamp of its own.
    std::optional<TDateTime> now;
    for (std::size_t k = 0; k < TaskKeyCount; ++k) {
        const TTaskKey& key = TaskKeys[k];
        if (key.Text != nullptr) {
            task.*key.Text = found[k] ? std::string(*found[k]) : std::string();
        } else if (key.Number != nullptr) {
            // No limit unless the value is one.
            task.*key.Number = found[k] ? ParseMinutes(*found[k]).value_or(0) : 0;
        } else if (!found[k]) {
            continue; // the new task's default stays
        } else if (key.Flag != nullptr) {
            static_cast<void>(TQMSettings::ParseBool(*found[k], task.*key.Flag));
        } else if (key.Own) {
            if (!now)
                now = dt::Now();
            if (const auto stamp = ParseOwnStamp(*found[k], *now))
                task.*key.Stamp = *stamp;
        } else {
            try {
                task.*key.Stamp = TQMSettings::ParseDateTimeStamp(*found[k]);
            } catch (const Exception&) {
                // as ReadDateTime: the value stays
            }
        }
    }
}

void TQMTaskSchedulerSettings::WriteTask(TQMTask& task) {
    if (!IsTaskIdentifier(task.Guid))
        task.Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
    TQMSettings& s = *settings_;
    const std::string n = TasksSectionPrefix + task.Guid;
    for (const TTaskKey& key : TaskKeys) {
        if (key.Optional && IsDefault(key, task))
            continue;
        const std::string name(key.Name);
        if (key.Text != nullptr)
            s.WriteString(n, name, task.*key.Text);
        else if (key.Flag != nullptr)
            s.WriteBool(n, name, task.*key.Flag);
        else if (key.Number != nullptr)
            s.WriteString(n, name, std::to_string(task.*key.Number));
        else
            s.WriteDateTime(n, name, task.*key.Stamp);
    }
}

std::string TQMTaskSchedulerSettings::LogFileName() const {
    return settings_->ChosenFolder() + LogFileBaseName;
}

void TQMTaskSchedulerSettings::Log(const std::string& text) {
    if (!LogFile)
        return;
    // The user folder appears with the first save; a run before that still
    // gets its line. When the folder cannot be made, the write reports it.
    const std::string folder = settings_->ChosenFolder();
    if (folder.empty())
        return; // no place the user chose
    (void)platform::ForceDirectories(folder);
    LogFile->FileName = folder + LogFileBaseName;
    LogFile->AddLine(text);
}
