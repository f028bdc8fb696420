#include "ui/Dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextBoundaryFinder>
#include <QWidget>

#include <algorithm>

namespace ui {

QString ApplicationTitle() {
    const QString path = QCoreApplication::applicationFilePath();
    const QString name = QFileInfo(path).completeBaseName();
    return name.isEmpty() ? QStringLiteral("QMTaskScheduler2") : name;
}

void ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.exec();
}

bool Confirm(QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), question,
                    QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("ConfirmBox"));
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

QString NameForBox(QWidget* parent, const QString& name) {
    // A message box wraps its text at break opportunities, and grows to half
    // the screen (at most 500 pixels) before it wraps; its icon and margins
    // take part of that. A word wider than that room gets a zero-width space
    // (a break opportunity that shows nothing) between its characters.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    const int room = std::max(100, std::min(screenWidth / 2, 500) - 150);
    const QFontMetrics metrics(QApplication::font("QMessageBox"));
    QString text;
    qsizetype from = 0;
    while (from < name.size()) {
        qsizetype to = from;
        const bool blank = name.at(from).isSpace();
        while (to < name.size() && name.at(to).isSpace() == blank)
            ++to;
        const QString run = name.mid(from, to - from);
        if (blank || metrics.horizontalAdvance(run) <= room) {
            text += run;
        } else {
            QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, run);
            qsizetype start = 0;
            for (qsizetype end = graphemes.toNextBoundary(); end > 0;
                 end = graphemes.toNextBoundary()) {
                if (start > 0)
                    text += QChar(0x200B);
                text += run.mid(start, end - start);
                start = end;
            }
        }
        from = to;
    }
    return text;
}

QString ErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowError(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), ErrorText(message), QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

} // namespace ui
