#pragma once

class TSHA;
class TQMDateTime;
class TQMGUID;

// Holds the support library's process-wide objects for its lifetime: creates
// the TSHA, the TQMDateTime and the TQMGUID in that order (seeding the
// generator once from the clock) and destroys them in reverse. The program
// entry holds one for the whole run; tests hold one where they need
// identifiers. Only one may be alive at a time.
class TSupportLibrary {
public:
    TSupportLibrary();
    ~TSupportLibrary();
    TSupportLibrary(const TSupportLibrary&) = delete;
    TSupportLibrary& operator=(const TSupportLibrary&) = delete;

    // The process-wide objects; each raises Exception when no TSupportLibrary
    // is alive.
    static TSHA& SHA();
    static TQMDateTime& DateTime();
    static TQMGUID& GUID();
    static bool Started();
};
