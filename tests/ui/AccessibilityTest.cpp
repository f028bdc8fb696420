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
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible == nullptr ? QString() : accessible->text(QAccessible::Name).trimmed();
}

// The letter after the caption's '&' ("&&" is a plain '&'); none without.
std::optional<char16_t> AccessKey(QString caption) {
    caption.remove(QStringLiteral("&&"));
    const qsizetype at = caption.indexOf(QLatin1Char('&'));
    if (at < 0 || at + 1 >= caption.size())
        return std::nullopt;
    return caption.at(at + 1).toLower().unicode();
}

// Each access key of the captions is used once.
void ExpectOwnKeys(const QStringList& captions) {
    std::map<char16_t, QString> keys;
    for (const QString& caption : captions)
        if (const auto key = AccessKey(caption); key && !keys.emplace(*key, caption).second)
            ADD_FAILURE() << "\"" << caption.toStdString() << "\" and \""
                          << keys[*key].toStdString() << "\" share their access key";
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
    // A label that names a field leads to it by its key.
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->buddy() != nullptr) {
            EXPECT_TRUE(AccessKey(label->text())) << label->text().toStdString();
            captions << label->text();
        }
    ExpectOwnKeys(captions);

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

// Every item of the menu and its submenus has a key of its own there.
void WalkMenu(const QString& title, const QList<QAction*>& items) {
    SCOPED_TRACE(title.toStdString());
    QStringList captions;
    for (QAction* item : items) {
        if (item->isSeparator())
            continue;
        EXPECT_TRUE(AccessKey(item->text())) << item->text().toStdString();
        captions << item->text();
        if (item->menu() != nullptr)
            WalkMenu(item->text(), item->menu()->actions());
    }
    ExpectOwnKeys(captions);
}

TEST(Accessibility, EveryControlOfEveryWindowAndBoxHasANameTabReachesItAndKeysDoNotClash) {
    const std::string guid(40, 'A');
    TestWindow window("[qmtaskscheduler]\r\naskwhenclose=0\r\naskwhenexecutetaskmanually=0\r\n"
                      "\r\n[tasks\\" +
                      guid + "]\r\ntaskname=Report\r\nguid=" + guid +
                      "\r\ntaskfilename=PROGRAM\r\nactive=0\r\ndaily=1\r\n"
                      "datetime=20261101-090000000\r\n\r\n[system]\r\ninitype=qmtaskscheduler\r\n");
    // A script whose interpreter is missing: its start fails with a box.
    const std::string script = window.Dir.File("report.sh");
    WriteFile(script, "#!/nonexistent/interp\n", 0755);
    std::string ini = ReadFile(window.Dir.File("qmtaskscheduler2.ini"));
    ini.replace(ini.find("PROGRAM"), 7, script);
    WriteFile(window.Dir.File("qmtaskscheduler2.ini"), ini);
    TFormMain& main = window.Form;
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    WalkMenu(QStringLiteral("menu bar"), main.menuBar()->actions());

    TFormTaskEdit editor(&main);
    TFormLogView log(QString::fromStdString(window.Dir.File("qmtaskscheduler2.log")), &main);
    const std::vector<std::pair<const char*, QWidget*>> windows{
        {"main window", &main}, {"task editor", &editor}, {"log view", &log}};
    for (const auto& [title, shown] : windows) {
        SCOPED_TRACE(title);
        Walk(shown);
        if (shown != &main)
            shown->hide();
    }

    // The boxes, each walked while it is open, and the history of a task.
    ModalHelper modal;
    auto* list = Child<QTreeView>(&main, "ListViewMain");
    const auto selectReport = [list] {
        list->selectionModel()->select(list->model()->index(0, 0),
                                       QItemSelectionModel::ClearAndSelect |
                                           QItemSelectionModel::Rows);
    };
    const struct {
        const char* Box;
        const char* Command;
        bool Selected;
        const char* Answer;
    } boxes[] = {{"Please first select a task.", "ActionRemoveTask", false, "OK"},
                 {"Do you want to delete the task Report ?", "ActionRemoveTask", true, "No"},
                 {"Can not create process:", "ActionExecuteTask_notime", true, "OK"}};
    for (const auto& b : boxes) {
        SCOPED_TRACE(b.Box);
        list->selectionModel()->clearSelection();
        if (b.Selected)
            selectReport();
        modal.When<QMessageBox>([&b](QMessageBox* box) {
            // The failed start's box keeps the launcher's words.
            EXPECT_TRUE(box->text().startsWith(b.Box)) << box->text().toStdString();
            Walk(box);
            for (QAbstractButton* button : box->buttons())
                if (button->text().remove(QLatin1Char('&')) == b.Answer)
                    QTest::mouseClick(button, Qt::LeftButton);
        });
        Child<QAction>(&main, b.Command)->trigger();
        ASSERT_TRUE(modal.Done());
    }
    EXPECT_TRUE(modal.Unexpected().isEmpty()) << modal.Unexpected().join('\n').toStdString();

    selectReport();
    Child<QAction>(&main, "MenuHistory")->trigger();
    auto* history = main.findChild<TFormHistory*>();
    ASSERT_NE(history, nullptr);
    SCOPED_TRACE("history");
    Walk(history);
}

} // namespace
