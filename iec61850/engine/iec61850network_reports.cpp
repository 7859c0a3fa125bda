#include "iec61850network.h"

#include <QDateTime>

#include "connectfailure.h"
#include "objectreference.h"

namespace iec61850 {

namespace {

// "LD/LLN0$Events" as the reference discovery uses: every "$" turned into ".".
QString dataSetRefFromMms(const QString& name) {
    return name.split('$', Qt::KeepEmptyParts).join('.');
}

// "LD/LN$FC$DO$DA" as "LD/LN.DO.DA": the functional constraint dropped.
QString dataRefFromMms(const QString& name) {
    QStringList parts = name.split('$', Qt::KeepEmptyParts);
    if (parts.size() > 1) {
        parts.removeAt(1);
    }
    return parts.join('.');
}

}  // namespace

void Iec61850Network::enableDisableReport(const QString& ref_string) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        return;
    }
    const QByteArray reference = ref_string.toUtf8();
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(connection, &lastError, reference.constData(), nullptr);
    if (rcb == nullptr) {
        emit setStatusBarMessage(
            QStringLiteral("Report block %1 not readable: %2")
                .arg(ref_string, requestFailureReason(lastError, RequestSubject::ReportControlBlock)));
        return;
    }
    const bool enable = !ClientReportControlBlock_getRptEna(rcb);
    if (enable) {
        enableReport(rcb, ref_string);
    } else {
        ClientReportControlBlock_setRptEna(rcb, false);
        IedConnection_setRCBValues(connection, &lastError, rcb, RCB_ELEMENT_RPT_ENA, true);
    }
    ClientReportControlBlock_destroy(rcb);
    if (lastError != IED_ERROR_OK) {
        emit setStatusBarMessage(
            QStringLiteral("Report %1 of %2 failed: %3")
                .arg(enable ? QStringLiteral("enable") : QStringLiteral("disable"), ref_string,
                     requestFailureReason(lastError, RequestSubject::ReportControlBlock)));
        return;
    }
    enabledReports.removeAll(ref_string);
    if (enable) {
        enabledReports.append(ref_string);
    }
}

bool Iec61850Network::enableReport(ClientReportControlBlock rcb, const QString& ref) {
    watchReports(rcb, ref);
    ClientReportControlBlock_setRptEna(rcb, true);
    IedConnection_setRCBValues(connection, &lastError, rcb, RCB_ELEMENT_RPT_ENA, true);
    return lastError == IED_ERROR_OK;
}

void Iec61850Network::watchReports(ClientReportControlBlock rcb, const QString& ref) {
    const QByteArray reference = ref.toUtf8();
    auto context = std::make_unique<ReportContext>();
    context->engine = this;
    context->block = ref;
    const char* dataSet = ClientReportControlBlock_getDataSetReference(rcb);
    context->dataSetRef = dataSetRefFromMms(QString::fromUtf8(dataSet != nullptr ? dataSet : ""));
    context->memberRefs = dataSetMemberRefs(context->dataSetRef);
    // Installed before the block is enabled, so that the first report already finds it. An empty
    // RptID makes the server report under the block's own name, which the library matches then.
    const char* rptId = ClientReportControlBlock_getRptId(rcb);
    IedConnection_installReportHandler(connection, reference.constData(),
                                       rptId != nullptr && *rptId != '\0' ? rptId : nullptr,
                                       &Iec61850Network::reportHandler, context.get());
    reportContexts.push_back(std::move(context));
}

void Iec61850Network::reenableReports() {
    // As the polling list resumes: what was switched on before the association ended is on again, and
    // what cannot be (its data set gone, another client holding it) is named.
    QStringList failed;
    const QStringList refs = enabledReports;
    for (const QString& ref : refs) {
        const RequestScope scope(*this);
        if (!scope.allowed()) {
            return;
        }
        ClientReportControlBlock rcb =
            IedConnection_getRCBValues(connection, &lastError, ref.toUtf8().constData(), nullptr);
        const bool enabled = rcb != nullptr && ClientReportControlBlock_getDataSetReference(rcb) != nullptr &&
                             *ClientReportControlBlock_getDataSetReference(rcb) != '\0' &&
                             !ClientReportControlBlock_getRptEna(rcb) && enableReport(rcb, ref);
        if (rcb != nullptr) {
            ClientReportControlBlock_destroy(rcb);
        }
        if (!enabled) {
            failed.append(ref);
            enabledReports.removeAll(ref);
        }
    }
    if (!failed.isEmpty()) {
        emit setStatusBarMessage(
            QStringLiteral("Reports not enabled again: %1").arg(failed.join(QLatin1String(", "))));
    }
}

QStringList Iec61850Network::dataSetMemberRefs(const QString& dataSetRef) {
    QStringList members = dataSetMembers.value(dataSetRef);
    if (members.isEmpty() && !dataSetRef.isEmpty()) {
        // A data set discovery did not list (another node's, or created since): ask for it now.
        IedClientError error = IED_ERROR_OK;
        LinkedList list =
            IedConnection_getDataSetDirectory(connection, &error, dataSetRef.toUtf8().constData(), nullptr);
        for (LinkedList element = LinkedList_getNext(list); element != nullptr;
             element = LinkedList_getNext(element)) {
            members.append(QString::fromUtf8(static_cast<const char*>(LinkedList_getData(element))));
        }
        LinkedList_destroy(list);
    }
    QStringList refs;
    for (const QString& member : members) {
        refs.append(withoutFc(member));
    }
    return refs;
}

void Iec61850Network::reportHandler(void* parameter, ClientReport report) {
    // Receive thread: reads only the report and the context, which stays put while the handler can run.
    const auto* context = static_cast<const ReportContext*>(parameter);
    context->engine->emitReport(*context, report);
}

void Iec61850Network::emitReport(const ReportContext& context, ClientReport report) {
    ReportHeader header;
    header.arrivalMs = QDateTime::currentMSecsSinceEpoch();
    header.block = context.block;
    const char* name = ClientReport_getDataSetName(report);
    header.dataSetRef = name != nullptr ? dataSetRefFromMms(QString::fromUtf8(name)) : context.dataSetRef;
    if (const char* rptId = ClientReport_getRptId(report)) {
        header.rptId = QString::fromUtf8(rptId);
    }
    if (ClientReport_hasSeqNum(report)) {
        header.seqNum = ClientReport_getSeqNum(report);
    }
    if (ClientReport_hasSubSeqNum(report)) {
        header.subSeqNum = ClientReport_getSubSeqNum(report);
        header.moreSegmentsFollow = ClientReport_getMoreSeqmentsFollow(report);
    }
    if (MmsValue* entryId = ClientReport_getEntryId(report);
        entryId != nullptr && MmsValue_getType(entryId) == MMS_OCTET_STRING) {
        header.entryId = QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(MmsValue_getOctetStringBuffer(entryId)),
                       MmsValue_getOctetStringSize(entryId))
                .toHex(' '));
    }
    if (ClientReport_hasConfRev(report)) {
        header.confRev = ClientReport_getConfRev(report);
    }
    if (ClientReport_hasBufOvfl(report)) {
        header.bufOvfl = ClientReport_getBufOvfl(report) ? 1 : 0;
    }
    const bool withReasons = ClientReport_hasReasonForInclusion(report);

    struct Member {
        QString dataRef;
        QStringList texts;
    };
    QList<Member> members;
    MmsValue* values = ClientReport_getDataSetValues(report);
    const int count = static_cast<int>(MmsValue_getArraySize(values));
    for (int i = 0; i < count; ++i) {
        // A member the report did not include has no value: nothing to show for it.
        MmsValue* value = MmsValue_getElement(values, i);
        if (value == nullptr) {
            continue;
        }
        QString dataRef;
        if (const char* sent = ClientReport_getDataReference(report, i); sent != nullptr && *sent != '\0') {
            dataRef = dataRefFromMms(QString::fromUtf8(sent));
        } else if (i < context.memberRefs.size()) {
            // The block does not send references: the data set's directory names the member.
            dataRef = context.memberRefs.at(i);
        }
        if (dataRef.isEmpty()) {
            continue;
        }
        members.append({dataRef, renderValue(value, dataRef, true)});
        header.reasons.append(withReasons ? static_cast<int>(ClientReport_getReasonForInclusion(report, i))
                                          : -1);
    }
    emit addReportHeader(header);
    emit addReport(header.dataSetRef, QString(), QStringList());
    for (const Member& member : members) {
        emit addReport(header.dataSetRef, member.dataRef, member.texts);
    }
}

}  // namespace iec61850
