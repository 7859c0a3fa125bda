#pragma once

#include <functional>

class QObject;
class QTimer;

namespace iec61850 {

// The next slice of a long job on the window's thread (showing announcements, copying a subtree into
// the control box, asking for Read all's values). It runs from a zero-interval timer, not a posted
// call: the event loop hands out every posted call before the window's timers and input get a turn, so
// slices posted from slices ran two passes in a row; a timer waits its turn with the others.
class NextSlice {
public:
    // `slice` runs on `owner`'s thread and goes with it.
    NextSlice(QObject* owner, std::function<void()> slice);
    // Runs the slice once on a later turn of the event loop, however often asked before that.
    void schedule();
    bool scheduled() const;

private:
    QTimer* timer_;
};

}  // namespace iec61850
