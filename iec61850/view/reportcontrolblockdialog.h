#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "objectvaluesdialog.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;

namespace iec61850 {

class ValueEditor;

// A report control block with every attribute and its value, the writable ones editable. "Write"
// sends only what changed, in one request or one per attribute, and shows each attribute's result;
// buttons reserve and release the block, ask for a general interrogation, purge a buffered block's
// buffer and resynchronise it from an entry ID. When another client holds the block it says so, with
// that client's address where the device gives Owner.
class ReportControlBlockDialog : public ObjectValuesDialog {
    Q_OBJECT

public:
    explicit ReportControlBlockDialog(QWidget* parent = nullptr);

    // rcbRef as the tree names the block (LD/LN.name), fc RP or BR; dataSets are offered for DatSet
    // as the block names them (LD/LN$DS).
    void showBlock(const QString& rcbRef, const QString& fc, const QStringList& dataSets);
    QString blockReference() const { return rcb; }

    // The address a client's Owner value gives, from the text the trees show for it; empty when the
    // block has no owner.
    static QString ownerAddress(const QString& ownerText);

    void objectValuesRead(const QString& ref, const QString& fc, const QStringList& names,
                          const QStringList& values, const QList<int>& mmsTypes, const QList<int>& sizes,
                          const QString& error) override;

signals:
    // Writes go through this rather than writeValue: the changed attributes in one request or one each.
    void writeReportControlBlock(const QString& rcbRef, const QString& fc, const QStringList& names,
                                 const QStringList& valueTexts, bool singleRequest);

public slots:
    void reportControlBlockWritten(const QString& rcbRef, const QStringList& names,
                                   const QStringList& errors);

private:
    struct Row {
        QLabel* value = nullptr;
        QLabel* result = nullptr;
        ValueEditor* editor = nullptr;
        QComboBox* dataSet = nullptr;  // DatSet: a choice of the device's data sets, or typed
        QString initial;               // the editor's text when the block was read
    };
    QString editedText(const Row& row) const;
    void clearRows();
    void writeClicked();
    // Sends the named attributes with the given texts after the user confirmed them.
    void send(const QStringList& names, const QStringList& texts, bool singleRequest);
    void sendOne(const QString& name, const QString& text);

    QString rcb;
    QString fc;
    QStringList dataSetChoices;
    QMap<QString, Row> rows;
    bool refusedForHolder = false;
    QLabel* noteLabel;
    QLabel* holderLabel;
    QGridLayout* grid;
    QCheckBox* singleRequestCheck;
    QPushButton* writeButton;
    QPushButton* reserveButton;
    QPushButton* releaseButton;
    QPushButton* interrogateButton;
    QPushButton* purgeButton;
    QPushButton* resyncButton;
};

}  // namespace iec61850
