#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace iec61850 {

// Turns reads of single variables into multi-variable Read requests for one association: each request
// fits the agreed PDU size and names variables of one domain, at most the agreed number of requests is
// in flight, and a request the device refuses is split. What the device taught (smaller requests, fewer
// requests in flight) is kept for the rest of the association, and the in-flight limit grows back to
// the agreed one once requests are answered again.
//
// Reads finish in whatever order their requests are answered; finishedInOrder() hands them back in the
// order they were added. Knows nothing of sockets or values: the caller sends what next() gives and
// tells the outcome.
class ReadPlanner {
public:
    using ReadId = std::uint64_t;

    struct Request {
        int id = 0;
        std::string domain;
        std::vector<ReadId> reads;
        std::vector<std::string> items;  // the variable names, parallel to reads
    };

    // Variables per request at most, however large the PDU: keeps answers well inside the usual PDU
    // sizes and lets several requests share the work.
    static constexpr int kMaxVariablesPerRequest = 1000;
    // Spreading reads over the requests in flight stops here: fewer variables are not worth a request
    // of their own.
    static constexpr int kMinVariablesPerShare = 50;

    ReadPlanner(int maxPduSize, int maxOutstanding);

    ReadId add(const std::string& domain, const std::string& item);
    // A read that needs no request (there is nothing the device could be asked): finished at once, it
    // keeps its place in the order.
    ReadId addFinished();

    // The next request to send, or nothing while no read waits or every agreed request is in flight.
    // The request counts as in flight from here on.
    std::optional<Request> next();

    // Outcomes of a request next() gave out. Each returns the reads that finished by it.
    // The device answered with one result per variable.
    std::vector<ReadId> answered(int requestId);
    // The device refused the request as a whole: its reads are sent again in smaller requests, and a
    // refused single read finishes without a value.
    std::vector<ReadId> refused(int requestId);
    // The device or the client's own gate had too many requests outstanding: the reads wait for the
    // next request, and fewer requests go out side by side for a while.
    void busy(int requestId);
    // The request could not go out for a reason of its own (the association is ending): its reads
    // wait again, nothing is learnt.
    void putBack(int requestId);
    // No answer will come (time-out, association lost): the reads finish without a value.
    std::vector<ReadId> failed(int requestId);

    // Requests of other kinds that share the in-flight limit (a data set's members, say).
    bool takeSlot();
    void slotAnswered();
    void slotBusy();
    // The request did not go out after all, or failed on its own; nothing is learnt from it.
    void slotReleased();

    // Finished reads whose earlier reads have all finished, in the order they were added; each is
    // handed back once.
    std::vector<ReadId> finishedInOrder();

    // Reads before this one have all been handed back by finishedInOrder().
    ReadId firstUnreturned() const { return windowStart_; }
    ReadId nextId() const { return windowStart_ + window_.size(); }
    bool idle() const { return queue_.empty() && inFlight_ == 0; }
    bool hasQueued() const { return !queue_.empty(); }
    int inFlight() const { return inFlight_; }
    int inFlightLimit() const { return limit_; }
    int variablesPerRequest() const { return batchLimit_; }

private:
    // A read's variable name is kept in a block of names (itemBlocks_): a window holds thousands of
    // reads, most of them with names too long for a string's own room.
    struct Read {
        std::uint32_t itemBlock = 0;  // counted as firstItemBlock_ counts
        std::uint32_t itemAt = 0;     // where the name starts in its block
        std::uint32_t itemLength = 0;
        bool finished = false;
    };
    Read& readOf(ReadId id) { return window_[static_cast<size_t>(id - windowStart_)]; }
    std::string_view itemOf(const Read& read) const {
        return std::string_view(itemBlocks_[read.itemBlock - firstItemBlock_])
            .substr(read.itemAt, read.itemLength);
    }
    ReadId addRead(std::string_view item, bool finished);
    const std::string& domainOf(ReadId id) const;
    std::vector<ReadId> takeRequest(int requestId);
    void requeue(const std::vector<ReadId>& reads);
    std::vector<ReadId> finish(const std::vector<ReadId>& reads);
    void noteSuccess();
    void noteBusy();

    int budget_;  // octets of variable names a request may carry
    int agreedOutstanding_;
    int limit_;
    int batchLimit_ = kMaxVariablesPerRequest;
    int inFlight_ = 0;
    int successesSinceBusy_ = 0;
    int nextRequest_ = 0;
    // Every read not yet handed back by finishedInOrder(), by id from windowStart_.
    std::deque<Read> window_;
    ReadId windowStart_ = 0;
    // The names of the reads in the window, one after another in blocks that are never moved or grown;
    // a block goes once every read named in it has been handed back.
    std::deque<std::string> itemBlocks_;
    std::uint32_t firstItemBlock_ = 0;  // the blocks dropped so far
    // The domain of the reads from each id on: reads come a domain at a time, so the window holds a
    // few of these rather than a domain per read. Runs wholly before windowStart_ are dropped.
    std::deque<std::pair<ReadId, std::string>> domains_;
    std::deque<ReadId> queue_;  // reads waiting for a request, in order
    std::unordered_map<int, std::vector<ReadId>> requests_;
};

}  // namespace iec61850
