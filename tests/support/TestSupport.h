#pragma once

#include "lib/DateTimeUtil.h"
#include "platform/regional.h"

#include <string>

namespace testing_support {

// A fresh temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder's path, ending in '/'.
    const std::string& Path() const { return path_; }
    // Path() + name.
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Holds the program's clock at a value that the test moves; restores the
// machine clock on destruction.
class TestClock {
public:
    explicit TestClock(TDateTime start);
    ~TestClock();
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    // Kept as whole milliseconds, so that many small steps do not drift.
    TDateTime Now() const { return static_cast<double>(ms_) / dt::MSecsPerDay; }
    void Set(TDateTime value);
    void AdvanceMs(long long milliseconds) { ms_ += milliseconds; }

private:
    long long ms_ = 0;
};

// Runs the process in the named zone for the object's lifetime; the zone the
// process started with comes back on destruction.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* name) { dt::UseTimeZone(name); }
    ~ScopedTimeZone() { dt::UseTimeZone(""); }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;
};

// Holds the program's clock on a moment of real time that the test moves,
// shown as the local time of the process's zone: at a daylight-saving change
// the local clock jumps as it does on a machine. Restores the machine clock
// on destruction.
class ZoneClock {
public:
    // Starts at the first instant of the given local time.
    explicit ZoneClock(TDateTime localStart);
    ~ZoneClock();
    ZoneClock(const ZoneClock&) = delete;
    ZoneClock& operator=(const ZoneClock&) = delete;

    TDateTime Now() const;
    void AdvanceMs(long long milliseconds) { unixMs_ += milliseconds; }

private:
    long long unixMs_ = 0;
};

// Sets the regional settings for the test's lifetime and restores the
// previous ones on destruction.
class ScopedRegional {
public:
    explicit ScopedRegional(const platform::RegionalSettings& settings);
    ~ScopedRegional();
    ScopedRegional(const ScopedRegional&) = delete;
    ScopedRegional& operator=(const ScopedRegional&) = delete;

private:
    platform::RegionalSettings previous_;
};

// Presets: English (United States), Dutch (Netherlands) and a year-first
// format with "." as its date separator.
platform::RegionalSettings EnglishUS();
platform::RegionalSettings Dutch();
platform::RegionalSettings YearFirstDotted();

// What the C library gives under ja_JP.UTF-8 (no single-byte separator in
// its formats), ja_JP.eucJP and de_DE.ISO-8859-1 (texts not in UTF-8), and
// the presets the program reads from them.
platform::LocaleTexts JapaneseTexts();
platform::LocaleTexts JapaneseEucTexts();
platform::LocaleTexts GermanLatin1Texts();
platform::RegionalSettings Japanese();
platform::RegionalSettings GermanLatin1();

// A date-time from its fields; fails the test on invalid fields.
TDateTime MakeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                       int millisecond = 0);

// Writes a text file (creating or replacing it); mode 0 keeps the default.
void WriteFile(const std::string& path, const std::string& content, unsigned mode = 0);
// Reads a whole file; empty when it does not exist.
std::string ReadFile(const std::string& path);

} // namespace testing_support
