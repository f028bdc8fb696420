#include "ui/FMain.h"

#include "ModalHelper.h"
#include "lib/SupportLibrary.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <map>

using namespace testing_support;

namespace {

// Counts layout requests and paints that reach the watched widgets.
class TEventCounter : public QObject {
public:
    int Count(const QObject* target, QEvent::Type type) const {
        const auto it = counts_.find({target, type});
        return it == counts_.end() ? 0 : it->second;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Paint)
            ++counts_[{watched, event->type()}];
        return false;
    }

private:
    std::map<std::pair<const QObject*, QEvent::Type>, int> counts_;
};

class StatusBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        form_.Store().Settings().ProgramFolder = dir_.Path();
        form_.Store().Settings().UserFolder = userDir_.Path();
        form_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
        bar_ = form_.findChild<QStatusBar*>(QStringLiteral("StatusBar"));
        ASSERT_NE(bar_, nullptr);
        for (int i = 0; i < 4; ++i) {
            panels_[i] = form_.findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i));
            ASSERT_NE(panels_[i], nullptr);
        }
    }

    void TearDown() override { form_.Store().AskWhenClose = false; }

    TLogFileModule logFileModule_;
    TSupportLibrary supportLibrary_;
    ScopedRegional regional_{EnglishUS()};
    TestClock clock_{MakeDateTime(2026, 12, 7, 9, 0, 0)};
    TempDir dir_;
    TempDir userDir_;
    TFormMain form_;
    QStatusBar* bar_ = nullptr;
    std::array<QLabel*, 4> panels_{};
};

} // namespace

// The clock ticks every second for as long as the program runs: its new text
// must repaint its own panel and nothing else, without laying out the bar.
TEST_F(StatusBarTest, TheClockRepaintsOnlyItsOwnPanel) {
    QLabel* clockPanel = panels_[2];
    ASSERT_TRUE(WaitUntil([&] { return clockPanel->text() == "2026-Dec-07 09:00:00"; }));
    QCoreApplication::processEvents();

    TEventCounter counter;
    bar_->installEventFilter(&counter);
    for (QLabel* panel : panels_)
        panel->installEventFilter(&counter);
    const std::array<QRect, 4> before{panels_[0]->geometry(), panels_[1]->geometry(),
                                      panels_[2]->geometry(), panels_[3]->geometry()};

    for (int second = 1; second <= 2; ++second) {
        clock_.AdvanceMs(1000);
        const QString shown = QStringLiteral("2026-Dec-07 09:00:0%1").arg(second);
        ASSERT_TRUE(WaitUntil([&] { return clockPanel->text() == shown; })) << second;
        ASSERT_TRUE(WaitUntil([&] { return counter.Count(clockPanel, QEvent::Paint) == second; }))
            << second;
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.Count(bar_, QEvent::LayoutRequest), 0);
    for (int i : {0, 1, 3})
        EXPECT_EQ(counter.Count(panels_[i], QEvent::Paint), 0) << "panel " << i;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(panels_[i]->geometry(), before[i]) << "panel " << i;
}

// However narrow the user drags the window, the panels stay side by side,
// whole, and the clock's text fits its panel.
TEST_F(StatusBarTest, TheNarrowestWindowKeepsEveryPanelWhole) {
    ASSERT_TRUE(WaitUntil([&] { return !panels_[2]->text().isEmpty(); }));
    // The window may open at its narrowest already; dragged narrower, it
    // stops there.
    form_.resize(40, form_.height());
    ASSERT_TRUE(WaitUntil([&] { return form_.width() == form_.minimumWidth(); }));
    QCoreApplication::processEvents();

    for (int i = 0; i < 4; ++i) {
        const QRect r = panels_[i]->geometry();
        EXPECT_GE(r.left(), 0) << "panel " << i;
        EXPECT_LT(r.right(), bar_->width()) << "panel " << i;
        EXPECT_EQ(r.width(), panels_[i]->minimumWidth()) << "panel " << i;
        if (i > 0) {
            EXPECT_GT(r.left(), panels_[i - 1]->geometry().right()) << "panel " << i;
        }
    }
    const QLabel* clockPanel = panels_[2];
    EXPECT_LE(clockPanel->fontMetrics().horizontalAdvance(clockPanel->text()),
              clockPanel->contentsRect().width());
    EXPECT_GE(clockPanel->contentsRect().height(), clockPanel->fontMetrics().height());
}
