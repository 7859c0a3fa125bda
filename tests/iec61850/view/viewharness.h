#pragma once
// What the view's tests share: a view with typed access to its parts, a closer for its notices and
// walks over its trees. The device behind it is the simulator program (SimulatorProcess).

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <memory>

#include "iec61850view.h"
#include "simulatorprocess.h"
#include "treemodel.h"

namespace viewharness {

using korvan::test::SimulatorProcess;

constexpr int kBrowseTimeoutMs = 60000;

// Closes every modal message box the view opens and remembers what it said. The view's notice runs a
// nested event loop, so a test cannot close it from its own code path.
class NoticeCloser : public QObject {
public:
    NoticeCloser() {
        connect(&timer, &QTimer::timeout, this, [this]() {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            notices << box->windowTitle() + ": " + box->text();
            box->button(QMessageBox::Ok)->click();
        });
        timer.start(20);
    }
    QStringList notices;

private:
    QTimer timer;
};

inline QStandardItem* findLine(QStandardItem* parent, const std::function<bool(QStandardItem*)>& wanted) {
    for (int row = 0; row < parent->rowCount(); ++row) {
        QStandardItem* child = parent->child(row, 0);
        if (wanted(child)) {
            return child;
        }
        if (QStandardItem* below = findLine(child, wanted)) {
            return below;
        }
    }
    return nullptr;
}

inline int countLines(QStandardItem* parent, const std::function<bool(QStandardItem*)>& wanted) {
    int count = 0;
    for (int row = 0; row < parent->rowCount(); ++row) {
        QStandardItem* child = parent->child(row, 0);
        count += wanted(child) ? 1 : 0;
        count += countLines(child, wanted);
    }
    return count;
}

inline QString valueOf(const QStandardItem* line) {
    return line->index().siblingAtColumn(1).data().toString();
}

// One view with typed access to its parts.
struct ViewUnderTest {
    ViewUnderTest() : view(new iec61850::Iec61850View(nullptr)) {
        view->resize(1200, 800);
        view->show();
    }
    template <class W>
    W* part(const char* name) const {
        W* widget = view->findChild<W*>(name);
        if (widget == nullptr) {
            qFatal("view part %s missing", name);
        }
        return widget;
    }
    QLineEdit* ip() const { return part<QLineEdit>("ipEdit"); }
    QLineEdit* port() const { return part<QLineEdit>("portEdit"); }
    QLineEdit* status() const { return part<QLineEdit>("statusEdit"); }
    QLineEdit* packets() const { return part<QLineEdit>("packetsEdit"); }
    QPushButton* button(const char* name) const { return part<QPushButton>(name); }
    QCheckBox* ready() const { return part<QCheckBox>("readyCheck"); }
    QComboBox* expand() const { return part<QComboBox>("expandCombo"); }
    QTreeView* structureView() const { return part<QTreeView>("structureView"); }
    QTreeView* controlView() const { return part<QTreeView>("controlView"); }
    QTreeView* pollView() const { return part<QTreeView>("pollView"); }
    iec61850::TreeModel* structure() const { return tree(structureView()); }
    iec61850::TreeModel* control() const { return tree(controlView()); }
    iec61850::TreeModel* poll() const { return tree(pollView()); }
    QAbstractItemModel* reports() const { return part<QTreeView>("reportView")->model(); }

    void connectTo(quint16 serverPort) const {
        ip()->setText("127.0.0.1");
        port()->setText(QString::number(serverPort));
        button("connectButton")->click();
    }
    // Waits until the view shows the association up; false when kBrowseTimeoutMs passed first.
    bool connected() const {
        return QTest::qWaitFor([this] { return status()->text() == QLatin1String("ConnectedState"); },
                               kBrowseTimeoutMs);
    }
    // Waits until the association is up and the walk has ended (the view says it is ready).
    bool browsed() const {
        return connected() && QTest::qWaitFor([this] { return ready()->isChecked(); }, kBrowseTimeoutMs);
    }
    bool connectAndBrowse(quint16 serverPort) const {
        connectTo(serverPort);
        return browsed();
    }
    // Starts `simulator` serving `sclFile` with the extra options, then connects and browses; false
    // when either failed (the simulator's reason goes to the test's log).
    bool serveAndBrowse(SimulatorProcess& simulator, const QString& sclFile,
                        const QStringList& options = {}) const {
        if (!simulator.start(sclFile, options)) {
            qWarning("simulator not started: %s", simulator.errorText().c_str());
            return false;
        }
        return connectAndBrowse(simulator.port());
    }
    void click(QStandardItem* line) const {
        const QModelIndex index = line->index();
        structureView()->scrollTo(index);
        structureView()->setCurrentIndex(index);
        emit structureView()->clicked(index);
    }
    bool connectBoxEnabled() const {
        return ip()->isEnabled() && port()->isEnabled() && button("connectButton")->isEnabled() &&
               button("disconnectButton")->isEnabled();
    }

    std::unique_ptr<iec61850::Iec61850View> view;

private:
    static iec61850::TreeModel* tree(QTreeView* view) {
        return dynamic_cast<iec61850::TreeModel*>(view->model());
    }
};

}  // namespace viewharness
