#pragma once

#include <QModelIndex>
#include <QPersistentModelIndex>

#include <vector>

namespace iec61850 {

// Walks a line and its subtree in pre-order, one line per call, and may be left between calls while
// the event loop runs: it holds only persistent indexes of the lines on its path, so a line that goes
// meanwhile ends the walk below it instead of leaving a dangling pointer. Lines appended meanwhile to
// a line whose children the walk has not all visited are walked as well.
class SubtreeWalk {
public:
    SubtreeWalk() = default;
    // `layer` is the top line's; its children are one deeper.
    SubtreeWalk(const QModelIndex& top, int layer);

    // The next line with its layer; an invalid index once the walk is done.
    QModelIndex next(int* layer);
    // True also for a walk without a top line, or whose top line went before it started.
    bool done() const;
    // The line the walk started from; invalid once that line has gone.
    QModelIndex top() const { return topLine; }
    int topLayer() const { return topLayerNumber; }

private:
    struct Frame {
        QPersistentModelIndex line;
        int nextRow = 0;
        int layer = 0;
    };
    QPersistentModelIndex topLine;
    int topLayerNumber = 0;
    bool started = false;
    std::vector<Frame> path;
};

}  // namespace iec61850
