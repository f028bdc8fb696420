// The windows as a keyboard and a screen reader meet them: every control
// that Tab reaches has a name, and Tab reaches every control that takes the
// focus.

#include "lib/SupportLibrary.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/ModalHelper.h"
#include "ui/FLogView.h"
#include "ui/FMain.h"
#include "ui/FTaskEdit.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible == nullptr ? QString() : accessible->text(QAccessible::Name).trimmed();
}

// The widgets of `window` that take the focus by Tab (a widget that hands
// its focus on counts as the one it hands it to).
std::vector<QWidget*> TabStops(QWidget* window) {
    std::vector<QWidget*> stops;
    for (QWidget* widget : window->findChildren<QWidget*>())
        if ((widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus &&
            widget->focusProxy() == nullptr && widget->isVisibleTo(window) && widget->isEnabled() &&
            widget->window() == window)
            stops.push_back(widget);
    return stops;
}

TEST(Accessibility, EveryControlOfEveryWindowHasANameAndTabReachesIt) {
    TLogFileModule logFileModule;
    TSupportLibrary supportLibrary;
    TempDir dir;
    WriteFile(dir.File("qmtaskscheduler2.ini"), "");
    TFormMain main;
    main.Store().Settings().ProgramFolder = dir.Path();
    main.Store().Settings().UserFolder = dir.Path();
    TFormTaskEdit editor(&main);
    TFormLogView log(QString::fromStdString(dir.File("qmtaskscheduler2.log")), &main);

    const std::vector<std::pair<const char*, QWidget*>> windows{
        {"main window", &main}, {"task editor", &editor}, {"log view", &log}};
    for (const auto& [title, window] : windows) {
        SCOPED_TRACE(title);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(WaitUntil([window] {
            window->activateWindow();
            return window->isActiveWindow();
        }));
        const std::vector<QWidget*> stops = TabStops(window);
        ASSERT_FALSE(stops.empty());

        // Buttons that show only a picture take no focus but are read too.
        std::set<QWidget*> named(stops.begin(), stops.end());
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
            if (button->isVisibleTo(window))
                named.insert(button);
        for (QWidget* widget : named)
            EXPECT_FALSE(AccessibleName(widget).isEmpty())
                << widget->metaObject()->className() << " " << widget->objectName().toStdString();

        // Pickers take several Tabs, one per field; twice round is plenty.
        std::set<QWidget*> reached;
        stops.front()->setFocus(Qt::TabFocusReason);
        for (size_t i = 0; i < 8 * stops.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr)
                << "after " << i << " Tabs; last: "
                << (reached.empty() ? "" : (*reached.rbegin())->objectName().toStdString());
            reached.insert(focus);
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        // Option buttons of one group are one stop: the arrows move within it.
        auto groupReached = [&reached](QWidget* widget) {
            auto* option = qobject_cast<QRadioButton*>(widget);
            if (option == nullptr || option->group() == nullptr)
                return false;
            for (QAbstractButton* other : option->group()->buttons())
                if (reached.count(other) != 0)
                    return true;
            return false;
        };
        for (QWidget* widget : stops)
            EXPECT_TRUE(reached.count(widget) != 0 || groupReached(widget))
                << "Tab does not reach " << widget->objectName().toStdString();
    }
    main.Store().AskWhenClose = false;
}

} // namespace
