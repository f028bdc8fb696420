#include "tests/scheduler/SchedulerTestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

// The task list's timer needs an application object. The desktop's file-type
// database is read once per process, so the temporary desktop home is in
// place before the first lookup.
int main(int argc, char** argv) {
    scheduler_test::SetUpDesktopHome();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    return result;
}
