#include "substitutiondialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogparts.h"
#include "valueeditor.h"
#include "writeconfirmation.h"

namespace iec61850 {

namespace {

const QString kSv = QStringLiteral("SV");
const QString kEnable = QStringLiteral("subEna");

}  // namespace

SubstitutionDialog::SubstitutionDialog(QWidget* parent) : ObjectValuesDialog(parent) {
    setObjectName(QStringLiteral("substitutionDialog"));
    processLabel = dialogparts::namedLabel("subProcess", true);
    stateLabel = dialogparts::namedLabel("subState");
    noteLabel = dialogparts::namedLabel("subNote", true);
    grid = new QGridLayout;
    onButton = dialogparts::commandButton(tr("Substitute"), "subOnButton");
    offButton = dialogparts::commandButton(tr("End substitution"), "subOffButton");
    connect(onButton, &QPushButton::clicked, this, [this] { substitute(true); });
    connect(offButton, &QPushButton::clicked, this, [this] { substitute(false); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(onButton);
    buttons->addWidget(offButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(processLabel);
    layout->addWidget(stateLabel);
    layout->addLayout(grid);
    layout->addWidget(noteLabel);
    layout->addLayout(buttons);
}

void SubstitutionDialog::showObject(const QString& dataObjectRef) {
    dataObject = dataObjectRef;
    setWindowTitle(tr("Substitute %1").arg(dataObject));
    dialogparts::clearLayout(grid);
    fields.clear();
    enabled.clear();
    processLabel->clear();
    stateLabel->setText(tr("Reading..."));
    noteLabel->clear();
    onButton->setEnabled(false);
    offButton->setEnabled(false);
    show();
    raise();
    readAll();
}

void SubstitutionDialog::readAll() {
    emit readObjectValues(dataObject, kSv);
    // The process side: a status or a measurement, whichever the object has.
    emit readObjectValues(dataObject, QStringLiteral("ST"));
    emit readObjectValues(dataObject, QStringLiteral("MX"));
}

void SubstitutionDialog::objectValuesRead(const QString& ref, const QString& fc, const QStringList& names,
                                          const QStringList& values, const QList<int>& mmsTypes,
                                          const QList<int>& sizes, const QString& error) {
    if (ref != dataObject) {
        return;
    }
    if (fc == QLatin1String("ST") || fc == QLatin1String("MX")) {
        if (error.isEmpty()) {
            QStringList lines;
            for (int i = 0; i < names.size(); ++i) {
                if (names.at(i) != QLatin1String("t")) {
                    lines << QStringLiteral("%1: %2").arg(names.at(i),
                                                          QString(values.value(i)).replace('\n', ' '));
                }
            }
            processLabel->setText(tr("Shown now: %1").arg(lines.join(QStringLiteral("; "))));
        }
        return;
    }
    if (fc != kSv) {
        return;
    }
    if (!error.isEmpty()) {
        stateLabel->setText(tr("The substitution attributes could not be read: %1").arg(error));
        return;
    }
    dialogparts::clearLayout(grid);
    fields.clear();
    int row = 0;
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        if (name == kEnable) {
            enabled = values.value(i);
            continue;
        }
        Field field;
        field.shown = values.value(i);
        field.editor = ValueEditor::create(dataObject + QLatin1Char('.') + name, mmsTypes.value(i, -1),
                                           sizes.value(i), field.shown);
        grid->addWidget(new QLabel(name), row, 0);
        if (field.editor != nullptr) {
            field.editor->setObjectName(QStringLiteral("edit_") + name);
            field.initial = field.editor->valueText();
            grid->addWidget(field.editor, row, 1);
        } else {
            grid->addWidget(new QLabel(field.shown), row, 1);
        }
        fields.insert(name, field);
        ++row;
    }
    const bool on = enabled == QLatin1String("1");
    stateLabel->setText(on ? tr("Substitution is on.") : tr("Substitution is off."));
    onButton->setEnabled(true);
    offButton->setEnabled(on);
}

void SubstitutionDialog::substitute(bool on) {
    QList<PendingWrite> writes;
    if (on) {
        for (auto field = fields.constBegin(); field != fields.constEnd(); ++field) {
            if (field->editor == nullptr) {
                continue;
            }
            if (!field->editor->problem().isEmpty()) {
                noteLabel->setText(tr("%1: %2").arg(field.key(), field->editor->problem()));
                return;
            }
            // The value and quality always go, so the device substitutes what the dialog shows.
            const bool always = field.key().startsWith(QLatin1String("subVal")) ||
                                field.key().startsWith(QLatin1String("subMag")) ||
                                field.key().startsWith(QLatin1String("subCVal")) ||
                                field.key() == QLatin1String("subQ");
            if (always || field->editor->valueText() != field->initial) {
                writes.append({dataObject + QLatin1Char('.') + field.key(), kSv, field->shown,
                               field->editor->valueText()});
            }
        }
    }
    writes.append({dataObject + QLatin1Char('.') + kEnable, kSv, enabled, on ? "true" : "false"});
    if (!confirmWrites(this, writes)) {
        return;
    }
    noteLabel->clear();
    // subEna last: the device takes the value and quality in place before showing them.
    for (const PendingWrite& write : writes) {
        emit writeValue(write.reference, write.fc, write.newValue);
    }
}

void SubstitutionDialog::valueWritten(const QString& ref, const QString& fc, const QString& error,
                                      const QString&) {
    if (fc != kSv || !ref.startsWith(dataObject + QLatin1Char('.'))) {
        return;
    }
    const QString name = ref.mid(dataObject.size() + 1);
    if (!error.isEmpty()) {
        noteLabel->setText(tr("%1: failed: %2").arg(name, error));
    }
    if (name == kEnable) {
        readAll();
    }
}

}  // namespace iec61850
