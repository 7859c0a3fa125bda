#include "naturalorder.h"

#include <QStandardItem>
#include <QStandardItemModel>

namespace iec61850 {

namespace {

constexpr int kDigitWidth = 20;

void fillKeys(QStandardItem* parent) {
    for (int row = 0; row < parent->rowCount(); ++row) {
        QStandardItem* line = parent->child(row, 0);
        if (!line->data(NaturalOrder::kNaturalKeyRole).isValid()) {
            line->setData(NaturalOrder::sortKey(line->text()), NaturalOrder::kNaturalKeyRole);
        }
        fillKeys(line);
    }
}

}  // namespace

QString NaturalOrder::sortKey(const QString& lineText) {
    QString fc;
    QString name = lineText.trimmed();
    if (name.startsWith(QLatin1Char('['))) {
        const int close = name.indexOf(QLatin1String("] "));
        if (close > 0) {
            fc = name.left(close + 1);
            name = name.mid(close + 2);
        }
    }
    QString key;
    key.reserve(name.size() + kDigitWidth);
    for (int i = 0; i < name.size();) {
        if (!name.at(i).isDigit()) {
            key += name.at(i).toLower();
            ++i;
            continue;
        }
        int end = i;
        while (end < name.size() && name.at(end).isDigit()) {
            ++end;
        }
        QString digits = name.mid(i, end - i);
        while (digits.size() > 1 && digits.startsWith(QLatin1Char('0'))) {
            digits.remove(0, 1);
        }
        // Longer numbers than the width still sort after shorter ones, just no longer among themselves.
        key += digits.rightJustified(kDigitWidth, QLatin1Char('0'));
        i = end;
    }
    // Ties (the same name under two constraints, or names differing in case) fall back to the text.
    return key + QChar(1) + fc + QChar(1) + lineText;
}

void NaturalOrder::apply(QStandardItemModel* model, bool natural) {
    if (natural) {
        fillKeys(model->invisibleRootItem());
    }
    model->setSortRole(natural ? kNaturalKeyRole : kDeviceOrderRole);
    model->sort(0, Qt::AscendingOrder);
}

}  // namespace iec61850
