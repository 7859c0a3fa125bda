#include "settinggroupdialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "dialogparts.h"
#include "valueeditor.h"
#include "writeconfirmation.h"

namespace iec61850 {

namespace {

const QString kSp = QStringLiteral("SP");
const QString kSe = QStringLiteral("SE");
const QString kSg = QStringLiteral("SG");

}  // namespace

SettingGroupDialog::SettingGroupDialog(QWidget* parent) : ObjectValuesDialog(parent) {
    setObjectName(QStringLiteral("settingGroupDialog"));
    stateLabel = dialogparts::namedLabel("sgState");
    noteLabel = dialogparts::namedLabel("sgNote", true);
    groupSpin = new QSpinBox;
    groupSpin->setObjectName(QStringLiteral("sgGroupSpin"));
    groupSpin->setRange(1, 1);
    activateButton = dialogparts::commandButton(tr("Activate"), "sgActivateButton");
    editButton = dialogparts::commandButton(tr("Edit"), "sgEditButton");
    confirmButton = dialogparts::commandButton(tr("Confirm edit"), "sgConfirmButton");
    discardButton = dialogparts::commandButton(tr("Discard edit"), "sgDiscardButton");
    grid = new QGridLayout;

    connect(activateButton, &QPushButton::clicked, this, [this] {
        writeBlock(QStringLiteral("ActSG"), QString::number(groupSpin->value()), block.value("ActSG"));
    });
    connect(editButton, &QPushButton::clicked, this, [this] {
        writeBlock(QStringLiteral("EditSG"), QString::number(groupSpin->value()), block.value("EditSG"));
    });
    connect(discardButton, &QPushButton::clicked, this,
            [this] { writeBlock(QStringLiteral("EditSG"), QStringLiteral("0"), block.value("EditSG")); });
    connect(confirmButton, &QPushButton::clicked, this, &SettingGroupDialog::confirmClicked);

    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(new QLabel(tr("Group:")));
    groupRow->addWidget(groupSpin);
    groupRow->addWidget(activateButton);
    groupRow->addWidget(editButton);
    groupRow->addStretch();
    auto* editRow = new QHBoxLayout;
    editRow->addStretch();
    editRow->addWidget(confirmButton);
    editRow->addWidget(discardButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(stateLabel);
    layout->addLayout(groupRow);
    layout->addLayout(grid);
    layout->addWidget(noteLabel);
    layout->addLayout(editRow);
}

void SettingGroupDialog::showBlock(const QString& sgcbRef, const QStringList& settingList,
                                   const QStringList& activeValues) {
    sgcb = sgcbRef;
    settingRefs = settingList;
    setWindowTitle(tr("Setting groups %1").arg(sgcb));
    block.clear();
    dialogparts::clearLayout(grid);
    settings.clear();
    grid->addWidget(new QLabel(tr("Setting")), 0, 0);
    grid->addWidget(new QLabel(tr("Active group")), 0, 1);
    grid->addWidget(new QLabel(tr("Group being edited")), 0, 2);
    for (int i = 0; i < settingRefs.size(); ++i) {
        Setting setting;
        setting.active = new QLabel(activeValues.value(i));
        setting.active->setObjectName(QStringLiteral("active_") + settingRefs.at(i));
        setting.edited = new QLabel;
        setting.edited->setObjectName(QStringLiteral("edited_") + settingRefs.at(i));
        grid->addWidget(new QLabel(settingRefs.at(i)), i + 1, 0);
        grid->addWidget(setting.active, i + 1, 1);
        grid->addWidget(setting.edited, i + 1, 2);
        settings.insert(settingRefs.at(i), setting);
    }
    stateLabel->setText(tr("Reading the block..."));
    noteLabel->clear();
    for (QPushButton* b : {activateButton, editButton, confirmButton, discardButton}) {
        b->setEnabled(false);
    }
    show();
    raise();
    emit readObjectValues(sgcb, kSp);
}

void SettingGroupDialog::clearEdits() {
    for (Setting& setting : settings) {
        delete setting.editor;
        setting.editor = nullptr;
        setting.initial.clear();
        setting.edited->clear();
    }
}

void SettingGroupDialog::readEditedValues() {
    for (const QString& ref : settingRefs) {
        emit readObjectValues(ref, kSe);
    }
}

void SettingGroupDialog::objectValuesRead(const QString& ref, const QString& fc, const QStringList& names,
                                          const QStringList& values, const QList<int>& mmsTypes,
                                          const QList<int>& sizes, const QString& error) {
    if (ref == sgcb && fc == kSp) {
        if (!error.isEmpty()) {
            stateLabel->setText(tr("The block could not be read: %1").arg(error));
            return;
        }
        const QString wasEditing = block.value("EditSG");
        for (int i = 0; i < names.size(); ++i) {
            block.insert(names.at(i), values.value(i));
        }
        const int groups = block.value("NumOfSG").toInt();
        const QString editing = block.value("EditSG");
        stateLabel->setText(tr("Groups: %1   Active: %2   Being edited: %3   Last activated: %4")
                                .arg(groups)
                                .arg(block.value("ActSG"),
                                     editing == QLatin1String("0") ? tr("none") : editing,
                                     block.value("LActTm")));
        groupSpin->setRange(1, qMax(1, groups));
        activateButton->setEnabled(groups > 0);
        editButton->setEnabled(groups > 0);
        const bool edit = !editing.isEmpty() && editing != QLatin1String("0");
        confirmButton->setEnabled(edit);
        discardButton->setEnabled(edit);
        if (!edit) {
            clearEdits();
        } else if (editing != wasEditing) {
            readEditedValues();
        }
        return;
    }
    const auto setting = settings.find(ref);
    if (setting == settings.end() || names.size() > 1) {
        return;
    }
    if (fc == kSg && error.isEmpty()) {
        setting->active->setText(values.value(0));
    } else if (fc == kSe) {
        delete setting->editor;
        setting->editor = nullptr;
        if (!error.isEmpty()) {
            setting->edited->setText(tr("not readable: %1").arg(error));
            return;
        }
        setting->edited->clear();
        setting->editor = ValueEditor::create(ref, mmsTypes.value(0, -1), sizes.value(0), values.value(0));
        if (setting->editor != nullptr) {
            setting->editor->setObjectName(QStringLiteral("edit_") + ref);
            const int row = settingRefs.indexOf(ref) + 1;
            grid->addWidget(setting->editor, row, 2);
            setting->initial = setting->editor->valueText();
        } else {
            setting->edited->setText(values.value(0));
        }
    }
}

void SettingGroupDialog::valueWritten(const QString& ref, const QString& fc, const QString& error,
                                      const QString&) {
    if (ref.startsWith(sgcb + QLatin1Char('.')) && fc == kSp) {
        const QString attribute = ref.mid(sgcb.size() + 1);
        noteLabel->setText(error.isEmpty() ? tr("%1: ok").arg(attribute)
                                           : tr("%1: failed: %2").arg(attribute, error));
        emit readObjectValues(sgcb, kSp);
        if (error.isEmpty() &&
            (attribute == QLatin1String("ActSG") || attribute == QLatin1String("CnfEdit"))) {
            // The active values follow the group; the trees with them.
            for (const QString& setting : settingRefs) {
                emit readObjectValues(setting, kSg);
            }
            if (attribute == QLatin1String("CnfEdit")) {
                readEditedValues();
            }
        }
        return;
    }
    const auto setting = settings.find(ref);
    if (setting != settings.end() && fc == kSe && !error.isEmpty()) {
        noteLabel->setText(tr("%1: failed: %2").arg(ref, error));
    }
}

void SettingGroupDialog::writeBlock(const QString& attribute, const QString& text, const QString& oldValue) {
    const QString ref = sgcb + QLatin1Char('.') + attribute;
    if (confirmWrites(this, {{ref, kSp, oldValue, text}})) {
        emit writeValue(ref, kSp, text);
    }
}

void SettingGroupDialog::confirmClicked() {
    QList<PendingWrite> writes;
    for (const QString& ref : settingRefs) {
        const Setting& setting = settings[ref];
        if (setting.editor == nullptr) {
            continue;
        }
        if (!setting.editor->problem().isEmpty()) {
            noteLabel->setText(tr("%1: %2").arg(ref, setting.editor->problem()));
            return;
        }
        if (setting.editor->valueText() != setting.initial) {
            writes.append({ref, kSe, setting.initial, setting.editor->valueText()});
        }
    }
    writes.append({sgcb + QStringLiteral(".CnfEdit"), kSp, block.value("CnfEdit"), QStringLiteral("true")});
    if (!confirmWrites(this, writes)) {
        return;
    }
    // The engine handles them in order: the values first, then the confirmation that stores them.
    for (const PendingWrite& write : writes) {
        emit writeValue(write.reference, write.fc, write.newValue);
    }
}

}  // namespace iec61850
