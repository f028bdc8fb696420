#pragma once

#include "lib/SupportLibrary.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/support/TestSupport.h"
#include "ui/FMain.h"

#include <string>

namespace testing_support {

// A main window over a settings file of its own (`settings`, read when the
// window is first shown) in a fresh folder, with the program-wide objects
// it needs. It closes without asking at the end.
struct TestWindow {
    explicit TestWindow(const std::string& settings) {
        WriteFile(Dir.File("qmtaskscheduler2.ini"), settings);
        Form.Store().Settings().ProgramFolder = Dir.Path();
        Form.Store().Settings().UserFolder = Dir.Path();
    }
    ~TestWindow() { Form.Store().AskWhenClose = false; }

    TLogFileModule LogFileModule;
    TSupportLibrary SupportLibrary;
    TempDir Dir;
    TFormMain Form;
};

} // namespace testing_support
