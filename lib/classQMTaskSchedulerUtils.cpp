#include "lib/classQMTaskSchedulerUtils.h"

#include "lib/SupportLibrary.h"
#include "lib/classQMGuid10.h"
#include "lib/classQMString10.h"

std::string TQMTaskSchedulerUtils::NewTaskIdentifier() {
    TQMString identifier;
    TSupportLibrary::GUID().NewIdentifier(identifier);
    return identifier.ToString();
}
