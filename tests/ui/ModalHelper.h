#pragma once

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>

namespace testing_support {

// Answers modal windows through their real widgets while a test's code is
// blocked in their event loop. The test queues what to do with the next modal
// windows, in the order they will appear, then triggers the command that opens
// them. A message box that appears when the next queued step is not for a
// message box is unexpected: it is recorded and closed, so the test fails
// instead of hanging. Any other modal window that stays open unanswered for
// ten seconds fails the test and is closed.
class ModalHelper : public QObject {
public:
    ModalHelper();
    ~ModalHelper() override;

    // Next modal message box: record its text and press the button whose
    // caption, without its '&', is `button`.
    void AnswerMessage(const QString& button);

    // Next active modal window of type T (which may be a dialog the test
    // opened with exec()): run `action` on it. The action runs inside that
    // window's event loop and may itself open further modal windows.
    template <class T> void When(std::function<void(T*)> action) {
        Queue({[](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
               [action = std::move(action)](QWidget* w) { action(qobject_cast<T*>(w)); }});
    }

    // Texts of the answered message boxes, in order.
    const QStringList& Texts() const { return texts_; }
    // Texts of the message boxes that nothing was queued for.
    const QStringList& Unexpected() const { return unexpected_; }
    // All queued steps have been taken.
    bool Done() const { return steps_.empty(); }

private:
    struct Step {
        std::function<bool(QWidget*)> matches;
        std::function<void(QWidget*)> run;
    };
    void Queue(Step step) { steps_.push_back(std::move(step)); }
    void Poll();

    QTimer timer_;
    std::deque<Step> steps_;
    QStringList texts_;
    QStringList unexpected_;
    // The window a taken step is about to answer.
    QPointer<QWidget> answering_;
    // The active modal window and how long it has been the active one.
    QPointer<QWidget> watched_;
    QElapsedTimer watchedFor_;
};

// The child of kind T with that object name; raises when there is none, so
// that the test fails instead of crashing.
template <class T> T* Child(const QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr)
        throw std::runtime_error(std::string("no control named ") + name);
    return child;
}

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

} // namespace testing_support
