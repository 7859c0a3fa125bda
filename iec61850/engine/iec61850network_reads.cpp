// Reads of attribute values, for the walk and for the view: requests come from the read planner, go out
// without waiting, and their answers come back to the engine's thread as queued calls.

#include "iec61850network.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstring>

#include "objectreference.h"

namespace iec61850 {

namespace {

// Posted at low priority, so that it runs after every read already queued to the engine.
const QEvent::Type kFlushReadsEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct AnswerTicket {
    Iec61850Network* engine;
    quint64 association;
    int request;
};

}  // namespace

void Iec61850Network::readValue(const QString& ref_string) {
    // During the walk reads wait for its end, as they always have.
    if (walk) {
        deferredReads.append(ref_string);
        return;
    }
    askRead(ref_string);
}

void Iec61850Network::askRead(const QString& ref) {
    if (!planner) {
        return;  // no association: nothing waits, nothing is announced
    }
    QByteArray domain;
    QByteArray item;
    const QString fc = refToFc.value(ref);
    // Reading SBO would select the object.
    if (!mayRequest() || isSelectAttribute(ref) || !mmsNameOf(ref, fc, &domain, &item)) {
        planner->addFinished();
    } else {
        const ReadPlanner::ReadId id = planner->add(domain.toStdString(), item.toStdString());
        readTargets[id].ref = ref;
    }
    if (!flushPosted) {
        flushPosted = true;
        QCoreApplication::postEvent(this, new QEvent(kFlushReadsEvent), Qt::LowEventPriority);
    }
}

bool Iec61850Network::event(QEvent* event) {
    if (event->type() == kFlushReadsEvent) {
        flushPosted = false;
        flushReads();
        return true;
    }
    return QObject::event(event);
}

void Iec61850Network::flushReads() {
    if (!planner) {
        return;
    }
    pumpRequests();
    deliverFinishedReads();
}

void Iec61850Network::whenReadsHandled(std::function<void()> handled) {
    if (walk) {
        deferredWaiters.emplace_back(deferredReads.size(), std::move(handled));
        return;
    }
    if (!planner || planner->firstUnreturned() >= planner->nextId()) {
        handled();
        return;
    }
    readWaiters.emplace_back(planner->nextId(), std::move(handled));
}

void Iec61850Network::releaseReadWaiters() {
    // Everything waited for is dropped with the association; the waiters are told so.
    std::vector<std::pair<int, std::function<void()>>> deferred = std::move(deferredWaiters);
    deferredWaiters.clear();
    std::vector<std::pair<ReadPlanner::ReadId, std::function<void()>>> waiting = std::move(readWaiters);
    readWaiters.clear();
    for (auto& waiter : waiting) {
        waiter.second();
    }
    for (auto& waiter : deferred) {
        waiter.second();
    }
}

void Iec61850Network::pumpRequests() {
    while (planner && mayRequest()) {
        if (walk && !walk->nameListQueue.empty()) {
            if (!planner->takeSlot() || !sendNameListRequest()) {
                return;
            }
        } else if (walk && !walk->dataSetQueue.empty()) {
            if (!planner->takeSlot() || !sendDataSetRequest()) {
                return;
            }
        } else if (const std::optional<ReadPlanner::Request> request = planner->next()) {
            if (!sendReadRequest(*request)) {
                return;
            }
        } else {
            return;
        }
    }
}

bool Iec61850Network::sendReadRequest(const ReadPlanner::Request& request) {
    LinkedList items = LinkedList_create();
    for (const std::string& item : request.items) {
        LinkedList_add(items, ::strdup(item.c_str()));  // freed by LinkedList_destroy
    }
    auto* ticket = new AnswerTicket{this, liveAssociation.load(), request.id};
    MmsError error = MMS_ERROR_NONE;
    noteActivity();
    // Counted before the call: the answer may come before it returns.
    ++answersOutstanding;
    MmsConnection_readMultipleVariablesAsync(IedConnection_getMmsConnection(connection), nullptr, &error,
                                             request.domain.c_str(), items, &Iec61850Network::readAnswer,
                                             ticket);
    LinkedList_destroy(items);
    if (error == MMS_ERROR_NONE) {
        return true;
    }
    --answersOutstanding;
    delete ticket;
    if (error == MMS_ERROR_OUTSTANDING_CALL_LIMIT) {
        planner->busy(request.id);
        return false;
    }
    if (error == MMS_ERROR_CONNECTION_LOST) {
        planner->putBack(request.id);
        return false;
    }
    for (const ReadPlanner::ReadId id : planner->refused(request.id)) {
        finishRead(id, ReadResult{});
    }
    return true;
}

void Iec61850Network::readAnswer(uint32_t, void* parameter, MmsError error, MmsValue* value) {
    std::shared_ptr<MmsValue> owned(value, MmsValue_delete);
    std::unique_ptr<AnswerTicket> ticket(static_cast<AnswerTicket*>(parameter));
    Iec61850Network* engine = ticket->engine;
    const quint64 association = ticket->association;
    const int request = ticket->request;
    --engine->answersOutstanding;
    QMetaObject::invokeMethod(
        engine,
        [engine, association, request, error, owned] {
            engine->readAnswered(association, request, error, owned);
        },
        Qt::QueuedConnection);
}

void Iec61850Network::readAnswered(quint64 association, int requestId, MmsError error,
                                   const std::shared_ptr<MmsValue>& value) {
    if (!planner || association != liveAssociation.load()) {
        return;
    }
    noteRequestFailure(error);
    if (error == MMS_ERROR_CONNECTION_LOST) {
        return;  // the association is over; its closure ends what waits
    }
    if (error == MMS_ERROR_NONE && value && MmsValue_getType(value.get()) == MMS_ARRAY) {
        const uint32_t size = MmsValue_getArraySize(value.get());
        const std::vector<ReadPlanner::ReadId> reads = planner->answered(requestId);
        if (size == reads.size()) {
            for (size_t i = 0; i < reads.size(); ++i) {
                const MmsValue* element = MmsValue_getElement(value.get(), static_cast<int>(i));
                const bool valued = element && MmsValue_getType(element) != MMS_DATA_ACCESS_ERROR;
                finishRead(reads[i], valued ? ReadResult{value, static_cast<int>(i)} : ReadResult{});
            }
        } else {
            // An answer that does not pair with the request gives no value to anyone.
            for (const ReadPlanner::ReadId id : reads) {
                finishRead(id, ReadResult{});
            }
        }
    } else if (error == MMS_ERROR_OUTSTANDING_CALL_LIMIT) {
        planner->busy(requestId);
    } else if (error == MMS_ERROR_SERVICE_TIMEOUT) {
        for (const ReadPlanner::ReadId id : planner->failed(requestId)) {
            finishRead(id, ReadResult{});
        }
    } else {
        for (const ReadPlanner::ReadId id : planner->refused(requestId)) {
            finishRead(id, ReadResult{});
        }
    }
    planMore();
    pumpRequests();
    deliverFinishedReads();
    announceReady();
}

void Iec61850Network::finishRead(ReadPlanner::ReadId id, const ReadResult& result) {
    if (walk && id >= walk->firstRead && id - walk->firstRead < static_cast<quint64>(walk->readsPlanned)) {
        // A read already announced has no place left to go.
        if (PendingRead* read = walk->pendingRead(static_cast<int>(id - walk->firstRead))) {
            if (!read->done) {
                --walk->readsUnfinished;
            }
            read->done = true;
            read->result = result;
        }
        return;
    }
    const auto found = readTargets.find(id);
    if (found != readTargets.end()) {
        found->second.result = result;
    }
}

void Iec61850Network::deliverFinishedReads() {
    if (!planner) {
        return;
    }
    for (const ReadPlanner::ReadId id : planner->finishedInOrder()) {
        const auto found = readTargets.find(id);
        if (found == readTargets.end()) {
            continue;
        }
        const ReadTarget target = std::move(found->second);
        readTargets.erase(found);
        if (target.result.index >= 0) {
            renderValue(MmsValue_getElement(target.result.answer.get(), target.result.index), target.ref,
                        false);
        }
        // A waiter may have ended the association.
        if (!planner) {
            return;
        }
    }
    const ReadPlanner::ReadId handled = planner->firstUnreturned();
    while (!readWaiters.empty() && readWaiters.front().first <= handled) {
        const std::function<void()> waiter = std::move(readWaiters.front().second);
        readWaiters.erase(readWaiters.begin());
        waiter();
        if (!planner) {
            return;
        }
    }
}

}  // namespace iec61850
