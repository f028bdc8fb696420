#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <utility>

// Helpers for driving the main window in GUI tests.
namespace main_window_testing {

// Lets events run until the condition holds or the time is up; true when it
// holds. For results of timers and started programs, never for the clock.
template <class Condition> bool WaitUntil(Condition condition, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QTest::qWait(10);
    }
    return true;
}

// Answers the next modal window of kind T through its widgets, once it is
// open; the command that opens it runs after this is armed.
template <class T> class AnswerModal {
public:
    explicit AnswerModal(std::function<void(T*)> answer) : answer_(std::move(answer)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* widget = qobject_cast<T*>(QApplication::activeModalWidget());
            if (widget == nullptr || !widget->isVisible() || done_)
                return;
            done_ = true;
            timer_.stop();
            answer_(widget);
        });
        timer_.start();
    }
    bool Done() const { return done_; }

private:
    std::function<void(T*)> answer_;
    QTimer timer_;
    bool done_ = false;
};

// Closes a modal window that no test answers, so that a fault fails the test
// instead of hanging it.
class ModalWatchdog {
public:
    ModalWatchdog() {
        timer_.setInterval(100);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            ticks_ = modal == last_ ? ticks_ + 1 : 0;
            last_ = modal;
            if (modal != nullptr && ticks_ > 100) {
                QString text = modal->windowTitle();
                if (auto* box = qobject_cast<QMessageBox*>(modal))
                    text += ": " + box->text();
                ADD_FAILURE() << "unanswered modal window " << text.toStdString();
                modal->close();
                ticks_ = 0;
            }
        });
        timer_.start();
    }

private:
    QTimer timer_;
    QWidget* last_ = nullptr;
    int ticks_ = 0;
};

} // namespace main_window_testing
