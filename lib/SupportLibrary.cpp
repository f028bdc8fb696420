#include "lib/SupportLibrary.h"

#include "lib/QMException.h"
#include "lib/classQMDateTime10.h"
#include "lib/classQMGuid10.h"
#include "lib/classSHA10.h"

#include <memory>

namespace {

std::unique_ptr<TSHA> ProcessSHA;
std::unique_ptr<TQMDateTime> ProcessDateTime;
std::unique_ptr<TQMGUID> ProcessGUID;

// In reverse order of creation.
void DestroyAll() {
    ProcessGUID.reset();
    ProcessDateTime.reset();
    ProcessSHA.reset();
}

[[noreturn]] void RaiseNotStarted() {
    throw Exception("TSupportLibrary; the support library has not been started");
}

} // namespace

TSupportLibrary::TSupportLibrary() {
    if (ProcessSHA || ProcessDateTime || ProcessGUID)
        throw Exception("TSupportLibrary; the support library has already been started");
    try {
        ProcessSHA = std::make_unique<TSHA>();
        ProcessDateTime = std::make_unique<TQMDateTime>();
        ProcessGUID = std::make_unique<TQMGUID>();
        // The one seeding of the identifier generator in a run.
        ProcessGUID->Randomize();
    } catch (...) {
        DestroyAll();
        throw;
    }
}

TSupportLibrary::~TSupportLibrary() {
    DestroyAll();
}

TSHA& TSupportLibrary::SHA() {
    if (!ProcessSHA)
        RaiseNotStarted();
    return *ProcessSHA;
}

TQMDateTime& TSupportLibrary::DateTime() {
    if (!ProcessDateTime)
        RaiseNotStarted();
    return *ProcessDateTime;
}

TQMGUID& TSupportLibrary::GUID() {
    if (!ProcessGUID)
        RaiseNotStarted();
    return *ProcessGUID;
}

bool TSupportLibrary::Started() {
    return ProcessGUID != nullptr;
}
