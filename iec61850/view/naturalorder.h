#pragma once

#include <QString>
#include <Qt>

class QStandardItemModel;

namespace iec61850 {

// Sorting of a tree's lines either in the order the device listed them or by name with the numbers in
// names compared as numbers (CSWI2 before CSWI10). The device's order is kept in a role of each line
// when it is added, so switching back restores it exactly.
class NaturalOrder {
public:
    static constexpr int kDeviceOrderRole = Qt::UserRole + 40;
    static constexpr int kNaturalKeyRole = Qt::UserRole + 41;

    // A key whose plain text order is the natural order of `lineText` ("[FC] name" or " name"): runs of
    // digits are padded to one width, the name comes before the functional constraint.
    static QString sortKey(const QString& lineText);

    // Sorts every level of `model` by name (natural) or back into the device's order.
    static void apply(QStandardItemModel* model, bool natural);
};

}  // namespace iec61850
