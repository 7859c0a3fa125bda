#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace iec61850 {

// One value about to be written, as the confirmation shows it.
struct PendingWrite {
    QString reference;
    QString fc;
    QString oldValue;
    QString newValue;
};

// Asks the user before anything is written: every reference with its constraint, old and new value.
// True only when the user said yes.
bool confirmWrites(QWidget* parent, const QList<PendingWrite>& writes);

}  // namespace iec61850
