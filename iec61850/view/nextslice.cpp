#include "nextslice.h"

#include <QTimer>

namespace iec61850 {

NextSlice::NextSlice(QObject* owner, std::function<void()> slice) : timer_(new QTimer(owner)) {
    timer_->setSingleShot(true);
    timer_->setInterval(0);
    QObject::connect(timer_, &QTimer::timeout, owner, std::move(slice));
}

void NextSlice::schedule() {
    if (!timer_->isActive()) {
        timer_->start();
    }
}

bool NextSlice::scheduled() const {
    return timer_->isActive();
}

}  // namespace iec61850
