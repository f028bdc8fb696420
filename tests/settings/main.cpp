#include <QCoreApplication>

#include <gtest/gtest.h>

// The application store works on a task list, whose timer needs an
// application object.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
