#pragma once

#include <QDialog>
#include <QString>
#include <QVector>

#include "sclmodel.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace iec61850 {

// The differences of a device from its configuration file, grouped and coloured by kind with their
// counts, and exportable as text (one difference per line).
class SclCompareDialog : public QDialog {
    Q_OBJECT

public:
    explicit SclCompareDialog(QWidget* parent = nullptr);

    // `title` names what was compared: "127.0.0.1:102 with sample_bay.icd (BAY1)".
    void showDifferences(const QString& title, const QVector<SclDifference>& differences);
    // What Export writes.
    QString exportText() const;

private slots:
    void exportClicked();

private:
    QLabel* summaryLabel;
    QTreeWidget* differenceTree;
    QPushButton* exportButton;
    QString compared;
    QVector<SclDifference> shown;
};

}  // namespace iec61850
