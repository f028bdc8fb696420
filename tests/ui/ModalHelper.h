#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class QWidget;

namespace testing_support {

// Answers modal windows through their real widgets while a test's code is
// blocked in their event loop. The test queues what to do with the next modal
// windows, in the order they will appear, then triggers the command that opens
// them. A message box that appears when the next queued step is not for a
// message box is unexpected: it is recorded and closed, so the test fails
// instead of hanging.
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
    // All queued steps have run.
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
};

// The caption of a button without its mnemonic marker.
QString PlainCaption(const QString& caption);

} // namespace testing_support
