// Must not compile: Build.RefusesQtTestChecksInGoogleTestFiles expects the
// refusal's message from building it.
#include <QTest>

#include <gtest/gtest.h>

TEST(Probe, QtCheck) {
    QCOMPARE(1, 2);
}
