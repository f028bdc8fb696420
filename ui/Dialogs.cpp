#include "ui/Dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
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
    // A message box grows to half the screen, at most 500 pixels, and wraps
    // its text at blanks only; its icon and margins take part of that.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    const int room = std::max(100, std::min(screenWidth / 2, 500) - 150);
    const QFontMetrics metrics(QApplication::font("QMessageBox"));
    return metrics.elidedText(name, Qt::ElideMiddle, room);
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
