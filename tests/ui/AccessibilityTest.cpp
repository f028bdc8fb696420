// The windows and boxes as a keyboard and a screen reader meet them: every
// control that Tab reaches has a name in words, Tab reaches every control
// that takes the focus, and no two access keys (Alt and an underlined
// letter) of one window or menu clash.

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
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
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
    // "..." is no name.
    static const QRegularExpression word(QStringLiteral("\\w"));
    for (QWidget* widget : named)
        EXPECT_TRUE(AccessibleName(widget).contains(word))
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
    // The failed start's mark is read out.
    QAccessibleTableInterface* rows =
        QAccessible::queryAccessibleInterface(Child<QTreeView>(&main, "ListViewMain"))
            ->tableInterface();
    ASSERT_NE(rows, nullptr);
    EXPECT_TRUE(WaitUntil([rows] {
        QAccessibleInterface* cell = rows->cellAt(0, 0);
        return cell != nullptr &&
               cell->text(QAccessible::Description)
                   .startsWith("last run failed: could not start: Can not create process:");
    }));

    Child<QAction>(&main, "MenuHistory")->trigger();
    auto* history = main.findChild<TFormHistory*>();
    ASSERT_NE(history, nullptr);
    Walk(history);

    // History and log are windows, beside the main window where the screen
    // has room for them.
    log.close();
    const QRect free = main.screen()->availableGeometry(), mainFrame = main.frameGeometry();
    const int room = std::max(mainFrame.left() - free.left(), free.right() - mainFrame.right());
    for (QWidget* side : std::initializer_list<QWidget*>{
             history,
             TFormLogView::ShowFor(&main, QString::fromStdString(window.Dir.File("x.log")))}) {
        EXPECT_EQ(QAccessible::queryAccessibleInterface(side)->role(), QAccessible::Window);
        EXPECT_TRUE(free.contains(side->frameGeometry()));
        if (room >=
            side->minimumSizeHint().width() + side->frameGeometry().width() - side->width()) {
            EXPECT_FALSE(side->frameGeometry().intersects(mainFrame))
                << side->objectName().toStdString();
        }
    }

    // The run picture is drawn in the palette's text colour, so it stays
    // readable on a dark palette.
    const QColor text(0xee, 0xee, 0xee);
    QPalette dark = main.palette();
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::ButtonText, text);
    main.setPalette(dark);
    const QImage picture =
        Child<QAbstractButton>(&main, "ButtonExecute")->icon().pixmap(32, 32).toImage();
    int drawn = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            drawn += picture.pixelColor(x, y).rgb() == text.rgb();
    EXPECT_GT(drawn, 0);
}

} // namespace
