#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a call from the event loop, after the
// event in progress, so that the program can end in order.
class TTerminationWatch : public QObject {
public:
    // `onRequest` gets the signal's number, once per signal.
    explicit TTerminationWatch(std::function<void(int signalNumber)> onRequest,
                               QObject* parent = nullptr);
    ~TTerminationWatch() override;

    // False when the handlers could not be installed: the signals then keep
    // their default actions.
    bool Watching() const { return notifier_ != nullptr; }

private:
    std::function<void(int)> onRequest_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
