#include "ui/FLogView.h"

#include "ModalHelper.h"
#include "settings/classQMLogFile.h"
#include "tests/support/TestSupport.h"
#include "ui/ByteText.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Receives the URLs the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Urls;
public slots:
    void Open(const QUrl& url) { Urls << url; }
};

std::string NumberedLines(int first, int last) {
    std::string text;
    for (int i = first; i <= last; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    return text;
}

QStringList ShownLines(const TFormLogView& view) {
    return Child<QPlainTextEdit>(&view, "MemoLog")->toPlainText().split(QLatin1Char('\n'));
}

} // namespace

TEST(LogView, ShowsTheNewestThousandLinesAndFollowsTheFileThroughAReplacement) {
    TempDir dir;
    ModalHelper modal;
    ScopedRegional regional(EnglishUS());
    TestClock clock(MakeDateTime(2026, 12, 7, 9, 30, 5));
    const std::string path = dir.File("qmtaskscheduler2.log");
    TFormLogView view(QString::fromStdString(path));
    view.show();

    // No file yet: a sentence in the window, no box.
    EXPECT_TRUE(ShownLines(view).join(' ').startsWith("There is no log file yet at "));

    // Its arrival is seen through the folder.
    WriteFile(path, NumberedLines(1, 1500));
    ASSERT_TRUE(WaitUntil([&] { return ShownLines(view).size() == TFormLogView::MaxLines; }));
    EXPECT_EQ(ShownLines(view).front(), "line 501");
    EXPECT_EQ(ShownLines(view).back(), "line 1500");
    QScrollBar* bar = Child<QPlainTextEdit>(&view, "MemoLog")->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());

    // A line the log writer appends appears at the bottom; a reader who
    // scrolled up keeps the place.
    for (int i = 0; i < 3; ++i)
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    const int place = bar->value();
    ASSERT_LT(place, bar->maximum());
    TQMLogFile writer;
    writer.FileName = path;
    writer.AddLine("task (Backup): executed (/bin/true)");
    const QString appended = "2026-Dec-07 09:30:05   task (Backup): executed (/bin/true)";
    ASSERT_TRUE(WaitUntil([&] { return ShownLines(view).back() == appended; }));
    EXPECT_EQ(ShownLines(view).front(), "line 502");
    EXPECT_EQ(bar->value(), place);
    // Back at the bottom, the reader follows the newest line again.
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    writer.AddLine("next");
    ASSERT_TRUE(WaitUntil([&] { return ShownLines(view).front() == "line 503"; }));
    EXPECT_EQ(bar->value(), bar->maximum());

    // A file removed and written anew is followed as well.
    fs::remove(path);
    ASSERT_TRUE(WaitUntil(
        [&] { return ShownLines(view).join(' ').startsWith("There is no log file yet"); }));
    WriteFile(path, "fresh\r\n");
    ASSERT_TRUE(WaitUntil([&] { return ShownLines(view) == QStringList{"fresh"}; }));
    writer.AddLine("second");
    ASSERT_TRUE(WaitUntil([&] { return ShownLines(view).size() == 2; }));
    EXPECT_EQ(ShownLines(view).back(), "2026-Dec-07 09:30:05   second");

    // Something that cannot be read is said in the window too.
    fs::remove(path);
    fs::create_directory(path);
    ASSERT_TRUE(WaitUntil(
        [&] { return ShownLines(view).join(' ').contains("cannot be read: it is a folder"); }));
    EXPECT_TRUE(modal.Unexpected().isEmpty());
}

TEST(LogView, OpensTheLogsFolderInTheFileManager) {
    TempDir dir;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
    TFormLogView view(QString::fromStdString(dir.File("qmtaskscheduler2.log")));
    view.show();
    QTest::mouseClick(Child<QPushButton>(&view, "ButtonOpenFolder"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.Urls.size(), 1);
    EXPECT_EQ(fs::path(catcher.Urls.front().toLocalFile().toStdString()),
              fs::path(dir.Path()).parent_path());
}

// A folder name that is no UTF-8 is no reason to lose the log: it is read,
// followed and opened with the path's own bytes.
TEST(LogView, ReadsFollowsAndOpensALogInAFolderWhoseNameIsNoUtf8) {
    TempDir dir;
    ScopedRegional regional(EnglishUS());
    TestClock clock(MakeDateTime(2026, 12, 7, 9, 30, 5));
    const std::string folder = dir.File("t\xe2"
                                        "ches"); // "tâches" in Latin-1
    fs::create_directory(folder);
    const std::string path = folder + "/qmtaskscheduler2.log";
    WriteFile(path, "first\r\n");
    TFormLogView view(ui::ToQString(path));
    view.show();
    EXPECT_EQ(ShownLines(view), QStringList{"first"});

    TQMLogFile writer;
    writer.FileName = path;
    writer.AddLine("second");
    ASSERT_TRUE(WaitUntil([&] { return ShownLines(view).size() == 2; }));
    EXPECT_EQ(ShownLines(view).back(), "2026-Dec-07 09:30:05   second");

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
    QTest::mouseClick(Child<QPushButton>(&view, "ButtonOpenFolder"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.Urls.size(), 1);
    EXPECT_EQ(
        QByteArray::fromPercentEncoding(catcher.Urls.front().path(QUrl::FullyEncoded).toLatin1()),
        QByteArray::fromStdString(folder));
}

#include "FLogViewTest.moc"
