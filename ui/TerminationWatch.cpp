#include "ui/TerminationWatch.h"

#include "platform/signals.h"

#include <QSocketNotifier>

#include <utility>

TTerminationWatch::TTerminationWatch(std::function<void(int)> onRequest, QObject* parent)
    : QObject(parent), onRequest_(std::move(onRequest)) {
    const int descriptor = platform::WatchTerminationSignals();
    if (descriptor < 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this, descriptor] {
        while (const int signalNumber = platform::TakeTerminationSignal(descriptor))
            onRequest_(signalNumber);
    });
}

TTerminationWatch::~TTerminationWatch() = default;
