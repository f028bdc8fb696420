// Included first into every file of the test programs (see tests/CMakeLists.txt).
//
// Qt Test's check macros record a failure in Qt Test's own result log and
// return from the function; inside a GoogleTest test nobody reads that log,
// so a failing check passes silently. After this header they do not compile:
// use GoogleTest's assertions, and ASSERT_TRUE(WaitUntil(...)) to wait for
// the event loop. Qt Test's event helpers (QTest::mouseClick, qWait, ...)
// stay usable.
#pragma once

// Qt Test's header first, so that a later #include <QTest> finds it already
// read and does not define the checks again.
#if __has_include(<QtTest/qtestcase.h>)
#include <QtTest/qtestcase.h>
#endif

#define QMTS_REFUSED_QT_CHECK                                                                      \
    static_assert(false, "Qt Test's check macros report nothing inside a GoogleTest test: use "    \
                         "a GoogleTest assertion (ASSERT_TRUE(WaitUntil(...)) to wait)")

#undef QVERIFY
#undef QVERIFY2
#undef QVERIFY_THROWS_EXCEPTION
#undef QVERIFY_THROWS_NO_EXCEPTION
#undef QVERIFY_EXCEPTION_THROWN
#undef QCOMPARE
#undef QCOMPARE_EQ
#undef QCOMPARE_NE
#undef QCOMPARE_LT
#undef QCOMPARE_LE
#undef QCOMPARE_GT
#undef QCOMPARE_GE
#undef QTRY_VERIFY
#undef QTRY_VERIFY2
#undef QTRY_VERIFY_WITH_TIMEOUT
#undef QTRY_VERIFY2_WITH_TIMEOUT
#undef QTRY_COMPARE
#undef QTRY_COMPARE_WITH_TIMEOUT
#undef QTRY_COMPARE_EQ
#undef QTRY_COMPARE_NE
#undef QTRY_COMPARE_LT
#undef QTRY_COMPARE_LE
#undef QTRY_COMPARE_GT
#undef QTRY_COMPARE_GE
#undef QTRY_COMPARE_EQ_WITH_TIMEOUT
#undef QTRY_COMPARE_NE_WITH_TIMEOUT
#undef QTRY_COMPARE_LT_WITH_TIMEOUT
#undef QTRY_COMPARE_LE_WITH_TIMEOUT
#undef QTRY_COMPARE_GT_WITH_TIMEOUT
#undef QTRY_COMPARE_GE_WITH_TIMEOUT
#undef QFAIL
#undef QSKIP
#undef QEXPECT_FAIL
#undef QTEST
#undef QFETCH
#undef QFETCH_GLOBAL

#define QVERIFY(...) QMTS_REFUSED_QT_CHECK
#define QVERIFY2(...) QMTS_REFUSED_QT_CHECK
#define QVERIFY_THROWS_EXCEPTION(...) QMTS_REFUSED_QT_CHECK
#define QVERIFY_THROWS_NO_EXCEPTION(...) QMTS_REFUSED_QT_CHECK
#define QVERIFY_EXCEPTION_THROWN(...) QMTS_REFUSED_QT_CHECK
#define QCOMPARE(...) QMTS_REFUSED_QT_CHECK
#define QCOMPARE_EQ(...) QMTS_REFUSED_QT_CHECK
#define QCOMPARE_NE(...) QMTS_REFUSED_QT_CHECK
#define QCOMPARE_LT(...) QMTS_REFUSED_QT_CHECK
#define QCOMPARE_LE(...) QMTS_REFUSED_QT_CHECK
#define QCOMPARE_GT(...) QMTS_REFUSED_QT_CHECK
#define QCOMPARE_GE(...) QMTS_REFUSED_QT_CHECK
#define QTRY_VERIFY(...) QMTS_REFUSED_QT_CHECK
#define QTRY_VERIFY2(...) QMTS_REFUSED_QT_CHECK
#define QTRY_VERIFY_WITH_TIMEOUT(...) QMTS_REFUSED_QT_CHECK
#define QTRY_VERIFY2_WITH_TIMEOUT(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_WITH_TIMEOUT(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_EQ(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_NE(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_LT(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_LE(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_GT(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_GE(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_EQ_WITH_TIMEOUT(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_NE_WITH_TIMEOUT(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_LT_WITH_TIMEOUT(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_LE_WITH_TIMEOUT(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_GT_WITH_TIMEOUT(...) QMTS_REFUSED_QT_CHECK
#define QTRY_COMPARE_GE_WITH_TIMEOUT(...) QMTS_REFUSED_QT_CHECK
#define QFAIL(...) QMTS_REFUSED_QT_CHECK
#define QSKIP(...) QMTS_REFUSED_QT_CHECK
#define QEXPECT_FAIL(...) QMTS_REFUSED_QT_CHECK
#define QTEST(...) QMTS_REFUSED_QT_CHECK
#define QFETCH(...) QMTS_REFUSED_QT_CHECK
#define QFETCH_GLOBAL(...) QMTS_REFUSED_QT_CHECK
