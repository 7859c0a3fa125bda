#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

namespace iec61850 {

// What a report says about itself, copied out of the library's report on the receive thread. Fields the
// report did not carry keep their "absent" values.
struct ReportHeader {
    QString block;  // the report control block the handler was installed for (LD/LN.RP.name)
    QString rptId;
    QString dataSetRef;  // as addReport names it (LD/LN.DS)
    qint64 arrivalMs = 0;
    int seqNum = -1;
    int subSeqNum = -1;  // only in a report sent in segments
    bool moreSegmentsFollow = false;
    QString entryId;  // hexadecimal; empty when not sent
    qint64 confRev = -1;
    int bufOvfl = -1;  // 0 or 1 when sent
    // Per member announced with addReport after this header, in that order: its reason-for-inclusion
    // bits (1 data change, 2 quality change, 4 data update, 8 integrity, 16 general interrogation), -1
    // when the report carries no reasons.
    QList<int> reasons;
};

// "data-change, integrity" for the reason bits; empty for none.
QString reasonNames(int reasonBits);

}  // namespace iec61850

Q_DECLARE_METATYPE(iec61850::ReportHeader)
