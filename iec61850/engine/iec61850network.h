#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "iec61850_client.h"

namespace iec61850 {

// The IEC 61850 client engine: owns at most one association with a server, walks the server's model
// into lines, reads and renders values. It lives in a worker thread of its own and talks to the view
// only through queued signals and slots.
//
// Threads: every slot and all teardown run on the thread the engine lives in. The library's receive
// thread only runs connectionClosedHandler, which raises an atomic flag and posts the teardown to
// the engine's thread; a walk in progress sees the flag before its next request and stops. Delete the
// engine in its own thread (deleteLater, also from QThread::finished) or after that thread has ended.
// abandonAssociation() alone may be called from any thread.
class Iec61850Network : public QObject {
    Q_OBJECT

public:
    explicit Iec61850Network(QObject* parent = nullptr);
    ~Iec61850Network() override;

    // Texts of one value. In normal mode also announces the text with updateValue for `ref`; a type
    // without a text form is announced as an empty update in either mode.
    QStringList renderValue(MmsValue* value, const QString& ref, bool reportMode);

    // Thread-safe, for the thread that asks for a disconnect while the engine's thread may be busy:
    // every request still queued for the open association is dropped unsent, and a request waiting
    // for its answer ends at once (the association is aborted). The teardown itself, with its
    // connectionStateChanged(false), stays with the disconnect() slot.
    void abandonAssociation();

signals:
    void newDataLine(const QString& data_string, const QString& ref_string, const QString& fc_string,
                     int layer);
    void updateValue(const QString& ref_string = QString(), const QString& value_string = QString());
    void connectionStateChanged(bool state);
    void addReport(const QString& dataset_ref, const QString& data_ref = QStringLiteral(""),
                   const QStringList& value_list = QStringList());
    void setStatusBarMessage(const QString& text);
    // Why a connect failed, in one line; followed by connectionStateChanged(false).
    void connectFailed(const QString& reason);

public slots:
    void doConnect(const QString& ip, int port);
    // Ends the association; silent when there is none.
    void disconnect();
    void readValue(const QString& ref_string);
    void enableDisableReport(const QString& ref_string);
    void controlSelect(const QString& data_object_ref, int origin_category);
    void controlSelectWithValue(const QString& data_object_ref, bool state, int origin_category);
    void controlCancel(const QString& data_object_ref);
    void controlOperateBool(const QString& data_object_ref, bool state, int origin_category);
    void controlOperateInt(const QString& data_object_ref, int value, int origin_category);

private:
    static void connectionClosedHandler(void* parameter, IedConnection connection);
    void associationClosed(quint64 association);
    // True while an association is open that the server has not ended and nobody abandoned.
    bool mayRequest() const;

    // Reports (iec61850network_reports.cpp).
    struct ReportContext {
        Iec61850Network* engine = nullptr;
        QString dataSetRef;      // the block's data set (LD/LN.DS), for reports that do not name it
        QStringList memberRefs;  // its members (LD/LN.DO.DA), for reports without data references
    };
    static void reportHandler(void* parameter, ClientReport report);
    void emitReport(const ReportContext& context, ClientReport report);
    QStringList dataSetMemberRefs(const QString& dataSetRef);

    // Marks a library request in progress on the engine's thread, so that abandonAssociation() knows
    // whether there is a request to cut short; `allowed` says whether the request may go out at all.
    class RequestScope {
    public:
        explicit RequestScope(Iec61850Network& engine);
        ~RequestScope();
        RequestScope(const RequestScope&) = delete;
        RequestScope& operator=(const RequestScope&) = delete;
        bool allowed() const { return allowed_; }

    private:
        Iec61850Network& engine_;
        bool allowed_;
    };

    void readAndRender(const QString& ref);
    QString emitDataLine(const QString& name, bool record);

    // The discovery walk. Every step answers false once a request failed or the association is gone,
    // and the walk then unwinds without another request.
    template <typename Request>
    bool requestNames(Request request, QList<QByteArray>& names);
    void browseServer();
    bool browseLogicalDevices();
    bool browseLogicalDevice(const QByteArray& deviceName);
    bool browseLogicalNode(const QString& nodeName);
    bool browseNodeChildren(const QString& nodeRef, ACSIClass acsiClass);
    bool browseDataDirectory(const QString& ref);
    bool browseDataSets(const QString& nodeRef);
    bool browseDataSet(const QString& dataSetName);

    QMap<QString, QString> refToFc;
    // Data set reference (LD/LN.DS) -> its members as discovery listed them (LD/LN.DO.DA[FC]).
    QMap<QString, QStringList> dataSetMembers;
    // What each installed report handler needs on the receive thread. Kept until the connection is
    // destroyed, since a replaced handler may still be running.
    std::vector<std::unique_ptr<ReportContext>> reportContexts;
    // Written only on the engine's thread, under handleMutex; abandonAssociation() reads it under the
    // mutex, so the handle cannot be released while it is being aborted.
    IedConnection connection = nullptr;
    mutable std::mutex handleMutex;
    // Raised on the receive thread when the server ends the association; stops every further request.
    std::atomic<bool> closedByPeer{false};
    int currentLayer = 0;
    IedClientError lastError = IED_ERROR_OK;
    QStringList layerStack;
    MmsValue* controlValue = nullptr;

    // Number of the open association, 0 while none is open. A closure notice carries the number it was
    // raised for, so one that arrives late cannot end a newer association.
    std::atomic<quint64> liveAssociation{0};
    quint64 associationCount = 0;
    // The association a disconnect was asked for; its queued requests are dropped.
    std::atomic<quint64> abandonedAssociation{0};
    std::atomic<int> requestsInFlight{0};
};

}  // namespace iec61850
