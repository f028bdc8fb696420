// The windows and boxes as a keyboard and a screen reader meet them: every
// control that Tab reaches has a name, Tab reaches every control that takes
// the focus, and no two access keys (Alt and an underlined letter) of one
// window or menu clash.

#include "tests/support/TestWindow.h"
#include "tests/ui/ModalHelper.h"
#include "ui/FHistory.h"
#include "ui/FLogView.h"
#include "ui/FTaskEdit.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible == nullptr ? QString() : accessible->text(QAccessible::Name).trimmed();
}

// No two captions share an access key (Alt and the letter after its '&').
void ExpectOwnKeys(const QStringList& captions) {
    std::map<QString, QString> keys;
    for (const QString& caption : captions) {
        const QString key = QKeySequence::mnemonic(caption).toString();
        if (!key.isEmpty() && !keys.emplace(key, caption).second)
            ADD_FAILURE() << caption.toStdString() << " and " << keys[key].toStdString();
    }
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

void Walk(QWidget* window) {
    window->show();
    ASSERT_TRUE(WaitUntil([window] {
        window->activateWindow();
        return window->isActiveWindow();
    }));
    const std::vector<QWidget*> stops = TabStops(window);
    ASSERT_FALSE(stops.empty());

    // Buttons that show only a picture take no focus but are read too.
    std::set<QWidget*> named(stops.begin(), stops.end());
    QStringList captions;
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        if (button->isVisibleTo(window)) {
            named.insert(button);
            captions << button->text();
        }
    for (QWidget* widget : named)
        EXPECT_FALSE(AccessibleName(widget).isEmpty())
            << widget->metaObject()->className() << " " << widget->objectName().toStdString();
    QStringList labels;
    for (QLabel* label : window->findChildren<QLabel*>())
        labels << label->text();
    ExpectOwnKeys(labels + captions);

    // Pickers take several Tabs, one per field; twice round is plenty.
    std::set<QWidget*> reached;
    stops.front()->setFocus(Qt::TabFocusReason);
    for (size_t i = 0; i < 8 * stops.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "after " << i << " Tabs";
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

// No two items of a menu share an access key.
void WalkMenu(const QList<QAction*>& items) {
    QStringList captions;
    for (QAction* item : items)
        if (!item->isSeparator()) {
            captions << item->text();
            if (item->menu() != nullptr)
                WalkMenu(item->menu()->actions());
        }
    ExpectOwnKeys(captions);
}

TEST(Accessibility, EveryControlOfEveryWindowAndBoxHasANameTabReachesItAndKeysDoNotClash) {
    // A script whose interpreter is missing: its start fails with a box.
    TempDir scripts;
    WriteFile(scripts.File("report.sh"), "#!/nonexistent/interp\n", 0755);
    const std::string guid(40, 'A');
    TestWindow window("[qmtaskscheduler]\r\naskwhenclose=0\r\naskwhenexecutetaskmanually=0\r\n"
                      "\r\n[tasks\\" +
                      guid + "]\r\ntaskname=Report\r\nguid=" + guid +
                      "\r\ntaskfilename=" + scripts.File("report.sh") + "\r\nactive=0\r\n");
    TFormMain& main = window.Form;
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    WalkMenu(main.menuBar()->actions());

    TFormTaskEdit editor(&main);
    TFormLogView log(QString::fromStdString(window.Dir.File("qmtaskscheduler2.log")), &main);
    const std::vector<std::pair<const char*, QWidget*>> windows{
        {"main window", &main}, {"task editor", &editor}, {"log view", &log}};
    for (const auto& [title, shown] : windows) {
        SCOPED_TRACE(title);
        Walk(shown);
    }

    // The boxes, each walked while it is open; the failed start's box keeps
    // the launcher's words. Then the history of the task.
    ModalHelper modal;
    const std::pair<const char*, const char*> boxes[] = {
        {"ActionRemoveTask", "Please first select a task."},
        {"ActionRemoveTask", "Do you want to delete the task Report ?"},
        {"ActionExecuteTask_notime", "Can not create process: "}};
    for (const auto& [command, text] : boxes) {
        SCOPED_TRACE(text);
        modal.When<QMessageBox>([text = text](QMessageBox* box) {
            EXPECT_TRUE(box->text().startsWith(text)) << box->text().toStdString();
            Walk(box);
            QTest::keyClick(box, Qt::Key_Escape);
        });
        Child<QAction>(&main, command)->trigger();
        ASSERT_TRUE(modal.Done());
        EXPECT_TRUE(modal.Unexpected().isEmpty());
        // The row is selected for the commands after the first.
        auto* list = Child<QTreeView>(&main, "ListViewMain");
        list->setCurrentIndex(list->model()->index(0, 0));
    }
    Child<QAction>(&main, "MenuHistory")->trigger();
    auto* history = main.findChild<TFormHistory*>();
    ASSERT_NE(history, nullptr);
    Walk(history);
}

} // namespace
