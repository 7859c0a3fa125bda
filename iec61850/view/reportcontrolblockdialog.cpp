#include "reportcontrolblockdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "dialogparts.h"
#include "valueeditor.h"
#include "writeconfirmation.h"

namespace iec61850 {

namespace {

const QString kSettingSingleRequest = QStringLiteral("IEC61850/rcbWriteInOneRequest");

// What a client may write; GI and PurgeBuf are commands with buttons of their own.
const QStringList kEditable{"RptID", "RptEna", "Resv",   "DatSet",  "OptFlds",
                            "BufTm", "TrgOps", "IntgPd", "EntryID", "ResvTms"};

// Refusals that mean the block belongs to another client at the moment.
bool heldElsewhere(const QString& error) {
    return error == QLatin1String("temporarily-unavailable") ||
           error == QLatin1String("object-access-denied");
}

}  // namespace

ReportControlBlockDialog::ReportControlBlockDialog(QWidget* parent) : ObjectValuesDialog(parent) {
    setObjectName(QStringLiteral("reportControlBlockDialog"));
    noteLabel = dialogparts::namedLabel("rcbNote", true);
    holderLabel = dialogparts::namedLabel("rcbHolder", true);
    grid = new QGridLayout;

    singleRequestCheck = new QCheckBox(tr("All changes in one request"));
    singleRequestCheck->setObjectName(QStringLiteral("singleRequestCheck"));
    singleRequestCheck->setToolTip(
        tr("Some devices refuse a write of several attributes at once; "
           "then write them one by one"));
    singleRequestCheck->setChecked(QSettings().value(kSettingSingleRequest, true).toBool());
    connect(singleRequestCheck, &QCheckBox::toggled, this,
            [](bool single) { QSettings().setValue(kSettingSingleRequest, single); });

    writeButton = dialogparts::commandButton(tr("Write"), "rcbWriteButton");
    auto* readButton = dialogparts::commandButton(tr("Read"), "rcbReadButton");
    reserveButton = dialogparts::commandButton(tr("Reserve"), "rcbReserveButton");
    releaseButton = dialogparts::commandButton(tr("Release"), "rcbReleaseButton");
    interrogateButton = dialogparts::commandButton(tr("General interrogation"), "rcbGiButton");
    purgeButton = dialogparts::commandButton(tr("Purge buffer"), "rcbPurgeButton");
    resyncButton = dialogparts::commandButton(tr("Resync from EntryID"), "rcbResyncButton");
    resyncButton->setToolTip(
        tr("Ask the device to send the buffered reports after the entry ID entered above"));

    connect(writeButton, &QPushButton::clicked, this, &ReportControlBlockDialog::writeClicked);
    connect(readButton, &QPushButton::clicked, this, [this] { emit readObjectValues(rcb, fc); });
    connect(reserveButton, &QPushButton::clicked, this, [this] { sendOne(QStringLiteral("Resv"), "true"); });
    connect(releaseButton, &QPushButton::clicked, this, [this] { sendOne(QStringLiteral("Resv"), "false"); });
    connect(interrogateButton, &QPushButton::clicked, this,
            [this] { sendOne(QStringLiteral("GI"), "true"); });
    connect(purgeButton, &QPushButton::clicked, this,
            [this] { sendOne(QStringLiteral("PurgeBuf"), "true"); });
    connect(resyncButton, &QPushButton::clicked, this, [this] {
        const auto row = rows.constFind(QStringLiteral("EntryID"));
        if (row != rows.constEnd()) {
            sendOne(QStringLiteral("EntryID"), editedText(*row));
        }
    });

    auto* writeRow = new QHBoxLayout;
    writeRow->addWidget(singleRequestCheck);
    writeRow->addStretch();
    writeRow->addWidget(readButton);
    writeRow->addWidget(writeButton);
    auto* commandRow = new QHBoxLayout;
    for (QPushButton* b : {reserveButton, releaseButton, interrogateButton, purgeButton, resyncButton}) {
        commandRow->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(holderLabel);
    layout->addWidget(noteLabel);
    layout->addLayout(writeRow);
    layout->addLayout(commandRow);
}

void ReportControlBlockDialog::showBlock(const QString& rcbRef, const QString& constraint,
                                         const QStringList& dataSets) {
    rcb = rcbRef;
    fc = constraint;
    dataSetChoices = dataSets;
    refusedForHolder = false;
    setWindowTitle(tr("Report control block %1").arg(rcb));
    clearRows();
    holderLabel->clear();
    noteLabel->setText(tr("Reading the block..."));
    for (QPushButton* b :
         {writeButton, reserveButton, releaseButton, interrogateButton, purgeButton, resyncButton}) {
        b->setEnabled(false);
    }
    show();
    raise();
    emit readObjectValues(rcb, fc);
}

void ReportControlBlockDialog::clearRows() {
    dialogparts::clearLayout(grid);
    rows.clear();
}

QString ReportControlBlockDialog::editedText(const Row& row) const {
    if (row.dataSet != nullptr) {
        return row.dataSet->currentText().trimmed();
    }
    return row.editor != nullptr ? row.editor->valueText() : QString();
}

void ReportControlBlockDialog::objectValuesRead(const QString& ref, const QString& constraint,
                                                const QStringList& names, const QStringList& values,
                                                const QList<int>& mmsTypes, const QList<int>& sizes,
                                                const QString& error) {
    if (ref != rcb || constraint != fc) {
        return;
    }
    if (!error.isEmpty()) {
        noteLabel->setText(tr("The block could not be read: %1").arg(error));
        return;
    }
    // Results of the last write stay beside the values read after it.
    QMap<QString, QString> results;
    for (auto row = rows.constBegin(); row != rows.constEnd(); ++row) {
        results.insert(row.key(), row->result->text());
    }
    clearRows();
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        Row row;
        row.value = new QLabel(values.value(i));
        row.value->setObjectName(QStringLiteral("value_") + name);
        row.result = new QLabel(results.value(name));
        row.result->setObjectName(QStringLiteral("result_") + name);
        QWidget* input = nullptr;
        if (name == QLatin1String("DatSet")) {
            row.dataSet = new QComboBox;
            row.dataSet->setEditable(true);
            row.dataSet->addItems(dataSetChoices);
            row.dataSet->setCurrentText(values.value(i));
            input = row.dataSet;
        } else if (kEditable.contains(name)) {
            row.editor = ValueEditor::create(rcb + QLatin1Char('.') + name, mmsTypes.value(i, -1),
                                             sizes.value(i), values.value(i));
            input = row.editor;
        }
        if (input != nullptr) {
            input->setObjectName(QStringLiteral("edit_") + name);
        }
        row.initial = editedText(row);
        grid->addWidget(new QLabel(name), i, 0);
        grid->addWidget(row.value, i, 1);
        if (input != nullptr) {
            grid->addWidget(input, i, 2);
        }
        grid->addWidget(row.result, i, 3);
        rows.insert(name, row);
    }
    noteLabel->clear();
    writeButton->setEnabled(true);
    reserveButton->setEnabled(rows.contains(QStringLiteral("Resv")));
    releaseButton->setEnabled(rows.contains(QStringLiteral("Resv")));
    interrogateButton->setEnabled(rows.contains(QStringLiteral("GI")));
    purgeButton->setEnabled(rows.contains(QStringLiteral("PurgeBuf")));
    resyncButton->setEnabled(rows.contains(QStringLiteral("EntryID")));

    const QString owner = ownerAddress(values.value(names.indexOf(QStringLiteral("Owner"))));
    const bool taken = values.value(names.indexOf(QStringLiteral("Resv"))) == QLatin1String("1") ||
                       values.value(names.indexOf(QStringLiteral("RptEna"))) == QLatin1String("1");
    if (refusedForHolder && (taken || !owner.isEmpty())) {
        holderLabel->setText(owner.isEmpty() ? tr("Another client holds this block.")
                                             : tr("Another client holds this block: %1").arg(owner));
    } else {
        holderLabel->clear();
    }
}

void ReportControlBlockDialog::writeClicked() {
    QStringList names;
    QStringList texts;
    for (auto row = rows.constBegin(); row != rows.constEnd(); ++row) {
        if (row->editor == nullptr && row->dataSet == nullptr) {
            continue;
        }
        if (row->editor != nullptr && !row->editor->problem().isEmpty()) {
            noteLabel->setText(tr("%1: %2").arg(row.key(), row->editor->problem()));
            return;
        }
        const QString text = editedText(*row);
        if (text != row->initial) {
            names << row.key();
            texts << text;
        }
    }
    if (names.isEmpty()) {
        noteLabel->setText(tr("Nothing changed."));
        return;
    }
    send(names, texts, singleRequestCheck->isChecked());
}

void ReportControlBlockDialog::sendOne(const QString& name, const QString& text) {
    send({name}, {text}, true);
}

void ReportControlBlockDialog::send(const QStringList& names, const QStringList& texts, bool singleRequest) {
    QList<PendingWrite> writes;
    for (int i = 0; i < names.size(); ++i) {
        const auto row = rows.constFind(names.at(i));
        const QString old = row != rows.constEnd() ? row->value->text() : QString();
        writes.append({rcb + QLatin1Char('.') + names.at(i), fc, old, texts.at(i)});
    }
    if (!confirmWrites(this, writes)) {
        return;
    }
    for (const QString& name : names) {
        const auto row = rows.constFind(name);
        if (row != rows.constEnd()) {
            row->result->setText(tr("writing..."));
        }
    }
    noteLabel->clear();
    emit writeReportControlBlock(rcb, fc, names, texts, singleRequest);
}

void ReportControlBlockDialog::reportControlBlockWritten(const QString& rcbRef, const QStringList& names,
                                                         const QStringList& errors) {
    if (rcbRef != rcb) {
        return;
    }
    refusedForHolder = false;
    for (int i = 0; i < names.size(); ++i) {
        const QString error = errors.value(i);
        refusedForHolder = refusedForHolder || heldElsewhere(error);
        const auto row = rows.constFind(names.at(i));
        if (row != rows.constEnd()) {
            row->result->setText(error.isEmpty() ? tr("ok") : tr("failed: %1").arg(error));
        }
    }
}

QString ReportControlBlockDialog::ownerAddress(const QString& ownerText) {
    QList<int> octets;
    for (const QString& line : ownerText.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("0x "))) {
            continue;
        }
        for (const QString& hex : line.mid(3).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            octets << hex.toInt(nullptr, 16);
        }
    }
    QStringList parts;
    if (octets.size() == 4) {
        for (const int octet : octets) {
            parts << QString::number(octet);
        }
        return parts.join(QLatin1Char('.'));
    }
    if (octets.size() == 16) {
        for (int i = 0; i < 16; i += 2) {
            parts << QString::number((octets.at(i) << 8) | octets.at(i + 1), 16);
        }
        return parts.join(QLatin1Char(':'));
    }
    // Not an address: the octets as the device gave them.
    for (const int octet : octets) {
        parts << QStringLiteral("%1").arg(octet, 2, 16, QLatin1Char('0'));
    }
    return parts.join(QLatin1Char(' '));
}

}  // namespace iec61850
