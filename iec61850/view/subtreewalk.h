#pragma once

#include <QElapsedTimer>
#include <QModelIndex>
#include <QPersistentModelIndex>

#include <functional>
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
    // One slice of a long walk on the window's thread: hands `visit` line after line (with its layer)
    // until the walk is done or, once the slice has handed out `atLeast` lines (`*handed`, shared by
    // the walks of one slice), `clock` has passed `budgetMs`; the clock is read every 16 lines.
    // Returns whether the walk is done.
    bool walkSlice(const QElapsedTimer& clock, qint64 budgetMs, int atLeast, int* handed,
                   const std::function<void(const QModelIndex& line, int layer)>& visit);
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
