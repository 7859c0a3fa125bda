#include "sclcomparedialog.h"

#include <QBrush>
#include <QColor>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextStream>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace iec61850 {

namespace {

// One colour per kind, in the order of SclModel::differenceKinds().
QColor kindColour(int kind) {
    static const QColor kColours[] = {QColor(0xc6, 0xdb, 0xef), QColor(0xfd, 0xd0, 0xa2),
                                      QColor(0xfc, 0xae, 0x91), QColor(0xd9, 0xf0, 0xa3),
                                      QColor(0xda, 0xda, 0xeb), QColor(0xff, 0xf7, 0xbc)};
    return kind >= 0 && kind < 6 ? kColours[kind] : QColor(Qt::white);
}

}  // namespace

SclCompareDialog::SclCompareDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("sclCompareDialog");
    setWindowTitle(tr("Compare with SCL"));
    resize(900, 600);
    summaryLabel = new QLabel;
    summaryLabel->setObjectName("summaryLabel");
    differenceTree = new QTreeWidget;
    differenceTree->setObjectName("differenceTree");
    differenceTree->setHeaderLabels({tr("Reference"), tr("Difference")});
    differenceTree->header()->setStretchLastSection(true);
    differenceTree->setColumnWidth(0, 420);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    exportButton = buttons->addButton(tr("Export..."), QDialogButtonBox::ActionRole);
    exportButton->setObjectName("exportButton");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(exportButton, &QPushButton::clicked, this, &SclCompareDialog::exportClicked);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summaryLabel);
    layout->addWidget(differenceTree);
    layout->addWidget(buttons);
}

void SclCompareDialog::showDifferences(const QString& title, const QVector<SclDifference>& differences) {
    compared = title;
    shown = differences;
    differenceTree->clear();
    summaryLabel->setText(differences.isEmpty()
                              ? tr("%1: no differences").arg(title)
                              : tr("%1: %n difference(s)", nullptr, differences.size()).arg(title));
    const QStringList kinds = SclModel::differenceKinds();
    for (int kind = 0; kind < kinds.size(); ++kind) {
        QList<QTreeWidgetItem*> rows;
        for (const SclDifference& difference : differences) {
            if (difference.kind == kind) {
                rows << new QTreeWidgetItem(QStringList{difference.reference, difference.detail});
            }
        }
        if (rows.isEmpty()) {
            continue;
        }
        QString name = kinds.at(kind);
        name[0] = name.at(0).toUpper();
        auto* group = new QTreeWidgetItem(differenceTree,
                                          QStringList{QStringLiteral("%1 (%2)").arg(name).arg(rows.size())});
        for (int column = 0; column < 2; ++column) {
            group->setBackground(column, QBrush(kindColour(kind)));
        }
        group->addChildren(rows);
        for (QTreeWidgetItem* row : rows) {
            row->setBackground(0, QBrush(kindColour(kind)));
        }
        group->setExpanded(true);
    }
    exportButton->setEnabled(!differences.isEmpty());
}

QString SclCompareDialog::exportText() const {
    QString text;
    for (const SclDifference& difference : shown) {
        text += difference.line + QLatin1Char('\n');
    }
    return text;
}

void SclCompareDialog::exportClicked() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Export differences"), QString(),
                                                      tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(exportText().toUtf8()) < 0 ||
        !file.flush()) {
        QMessageBox::warning(this, tr("Export differences"),
                             tr("Could not write %1: %2").arg(path, file.errorString()));
    }
}

}  // namespace iec61850
