#include "ModalHelper.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace testing_support {

QString PlainCaption(const QString& caption) {
    QString plain = caption;
    return plain.remove(QLatin1Char('&'));
}

ModalHelper::ModalHelper() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start();
}

ModalHelper::~ModalHelper() = default;

void ModalHelper::AnswerMessage(const QString& button) {
    Queue({[](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
           [this, button](QWidget* w) {
               auto* box = qobject_cast<QMessageBox*>(w);
               texts_ << box->text();
               for (QAbstractButton* b : box->buttons()) {
                   if (PlainCaption(b->text()) == button) {
                       b->click();
                       return;
                   }
               }
               unexpected_ << QStringLiteral("no button \"%1\" in: %2").arg(button, box->text());
               box->done(0);
           }});
}

void ModalHelper::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible())
        return;
    if (!steps_.empty() && steps_.front().matches(modal)) {
        // The step may open a nested modal window whose event loop must keep
        // polling for the next step; a timer does not fire again while its own
        // handler runs, so the step runs from an event of its own.
        auto run = std::move(steps_.front().run);
        steps_.pop_front();
        QTimer::singleShot(0, this, [run = std::move(run), target = QPointer<QWidget>(modal)] {
            if (target)
                run(target);
        });
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        unexpected_ << box->text();
        box->done(0);
    }
}

} // namespace testing_support
