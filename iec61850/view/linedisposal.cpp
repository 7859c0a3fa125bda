#include "linedisposal.h"

#include <QElapsedTimer>
#include <QStandardItem>
#include <QTimer>

namespace iec61850 {

LineDisposal::LineDisposal(QObject* parent) : QObject(parent), timer(new QTimer(this)) {
    timer->setSingleShot(true);
    timer->setInterval(0);
    connect(timer, &QTimer::timeout, this, [this] {
        if (!freeSome(kSliceMs)) {
            schedule();
        }
    });
}

LineDisposal::~LineDisposal() {
    // Detached lines free their own subtrees.
    for (QStandardItem* item : items) {
        delete item;
    }
}

void LineDisposal::takeRow(const QList<QStandardItem*>& row) {
    for (QStandardItem* item : row) {
        if (item != nullptr) {
            items.push_back(item);
        }
    }
    schedule();
}

bool LineDisposal::isEmpty() const {
    return items.empty() && containers.empty();
}

void LineDisposal::schedule() {
    if (!isEmpty() && !timer->isActive()) {
        timer->start();
    }
}

void LineDisposal::freeOneStep() {
    if (!items.empty()) {
        QStandardItem* item = items.back();
        if (item->rowCount() == 0) {
            items.pop_back();
            delete item;
            return;
        }
        for (QStandardItem* child : item->takeRow(item->rowCount() - 1)) {
            if (child != nullptr) {
                items.push_back(child);
            }
        }
        return;
    }
    if (!containers.empty() && containers.front()()) {
        containers.pop_front();
    }
}

bool LineDisposal::freeSome(qint64 budgetMs) {
    QElapsedTimer clock;
    clock.start();
    do {
        // The clock is read once per handful of steps: a step costs far less than reading it.
        for (int i = 0; i < 32 && !isEmpty(); ++i) {
            freeOneStep();
        }
    } while (!isEmpty() && clock.elapsed() < budgetMs);
    return isEmpty();
}

}  // namespace iec61850
