#include "subtreewalk.h"

#include <QAbstractItemModel>

namespace iec61850 {

SubtreeWalk::SubtreeWalk(const QModelIndex& top, int layer) : topLine(top), topLayerNumber(layer) {}

QModelIndex SubtreeWalk::next(int* layer) {
    if (!started) {
        started = true;
        if (!topLine.isValid()) {
            return {};
        }
        path.push_back(Frame{topLine, 0, topLayerNumber});
        *layer = topLayerNumber;
        return topLine;
    }
    while (!path.empty()) {
        Frame& frame = path.back();
        if (!frame.line.isValid()) {
            // The line went, and its subtree with it; what is left of the walk is no longer known.
            path.clear();
            break;
        }
        const QModelIndex child = frame.line.model()->index(frame.nextRow, 0, frame.line);
        if (!child.isValid()) {
            path.pop_back();
            continue;
        }
        ++frame.nextRow;
        const int childLayer = frame.layer + 1;
        // Most lines are leaves; only lines with children are kept on the path.
        if (child.model()->hasChildren(child)) {
            path.push_back(Frame{child, 0, childLayer});
        }
        *layer = childLayer;
        return child;
    }
    return {};
}

bool SubtreeWalk::done() const {
    return started ? path.empty() : !topLine.isValid();
}

bool SubtreeWalk::walkSlice(const QElapsedTimer& clock, qint64 budgetMs, int atLeast, int* handed,
                            const std::function<void(const QModelIndex& line, int layer)>& visit) {
    while (!done()) {
        if (*handed >= atLeast && *handed % 16 == 0 && clock.elapsed() >= budgetMs) {
            break;
        }
        int layer = 0;
        const QModelIndex line = next(&layer);
        if (!line.isValid()) {
            break;
        }
        ++*handed;
        visit(line, layer);
    }
    return done();
}

}  // namespace iec61850
