#include "writeconfirmation.h"

#include <QMessageBox>
#include <QStringList>

namespace iec61850 {

bool confirmWrites(QWidget* parent, const QList<PendingWrite>& writes) {
    if (writes.isEmpty()) {
        return false;
    }
    QStringList lines;
    for (const PendingWrite& write : writes) {
        // Multi-line values (a quality word, octets) stay on one line here.
        const auto oneLine = [](QString text) { return text.replace(QLatin1Char('\n'), QLatin1Char(' ')); };
        lines << QObject::tr("%1 [%2]\nold value: %3\nnew value: %4")
                     .arg(write.reference, write.fc, oneLine(write.oldValue), oneLine(write.newValue));
    }
    QMessageBox box(QMessageBox::Question, QObject::tr("Confirm write"),
                    QObject::tr("Write to the device?\n\n%1").arg(lines.join(QStringLiteral("\n\n"))),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("writeConfirmation"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace iec61850
