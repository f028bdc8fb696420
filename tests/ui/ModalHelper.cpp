#include "ModalHelper.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include <gtest/gtest.h>

namespace testing_support {

namespace {

// Long enough for any answer under a sanitizer, short enough that a fault
// fails the test instead of hanging it.
constexpr qint64 UnansweredMs = 10000;

// The caption of a button without its mnemonic marker.
QString PlainCaption(const QString& caption) {
    QString plain = caption;
    return plain.remove(QLatin1Char('&'));
}

} // namespace

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
    if (modal == nullptr || !modal->isVisible()) {
        watched_.clear();
        return;
    }
    if (modal == answering_)
        return;
    if (modal != watched_) {
        watched_ = modal;
        watchedFor_.start();
    }
    if (!steps_.empty() && steps_.front().matches(modal)) {
        // The step may open a nested modal window whose event loop must keep
        // polling for the next step; a timer does not fire again while its own
        // handler runs, so the step runs from an event of its own.
        auto run = std::move(steps_.front().run);
        steps_.pop_front();
        // The window stays marked while its step runs, so that a step that
        // lets events run (waiting for a poll) does not see it as unexpected;
        // a nested window's step hands the mark back when it is done.
        QPointer<QWidget> outer = answering_;
        answering_ = modal;
        QTimer::singleShot(0, this,
                           [this, run = std::move(run), target = QPointer<QWidget>(modal), outer] {
                               if (target)
                                   run(target);
                               answering_ = outer;
                           });
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        unexpected_ << box->text();
        box->done(0);
        return;
    }
    // A window no step answers, or one a step left open.
    if (watchedFor_.hasExpired(UnansweredMs)) {
        ADD_FAILURE() << "unanswered modal window " << modal->metaObject()->className() << " \""
                      << modal->windowTitle().toStdString() << "\"";
        watched_.clear();
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->close();
    }
}

} // namespace testing_support
