// Takes the README's pictures: Korvan's main window against a running simulator, driven the way a user
// would (connect while the walk's progress shows, expand, poll, enable a report and read its log, select
// and operate the breaker with the control dialog, read the message log), each state saved as a PNG.
// Run by scripts/make-screenshots.sh under a virtual X server, against a simulator slow enough for the
// walk to be seen.
//
// korvan_screenshots PORT OUTPUT_FOLDER

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QStandardItem>
#include <QTreeView>

#include <cstdio>
#include <functional>

#include "appinfo.h"
#include "iec61850view.h"
#include "mainwindow.h"
#include "startup.h"
#include "treemodel.h"

namespace {

// Runs the event loop until `done` holds or the time is up.
bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void settle(int ms) {
    waitUntil([] { return false; }, ms);
}

class Tour {
public:
    Tour(QWidget& window, iec61850::Iec61850View& view, QString folder)
        : window(window), view(view), folder(std::move(folder)) {}

    template <class W>
    W* part(const char* name) const {
        W* widget = view.findChild<W*>(name);
        if (widget == nullptr) {
            std::fprintf(stderr, "korvan_screenshots: the view has no %s\n", name);
            std::exit(1);
        }
        return widget;
    }
    iec61850::TreeModel* structure() const {
        return dynamic_cast<iec61850::TreeModel*>(part<QTreeView>("structureView")->model());
    }
    // The first line, depth first, whose reference starts with `prefix`; empty when there is none.
    QString findRef(const QString& prefix) const {
        std::function<QString(QStandardItem*)> search = [&](QStandardItem* parent) -> QString {
            for (int row = 0; row < parent->rowCount(); ++row) {
                QStandardItem* line = parent->child(row, 0);
                const QString ref = structure()->referenceOf(line);
                if (ref.startsWith(prefix)) {
                    return ref;
                }
                const QString below = search(line);
                if (!below.isEmpty()) {
                    return below;
                }
            }
            return QString();
        };
        return search(structure()->invisibleRootItem());
    }
    // Selects a structure line as a click would; false when the model has no such reference.
    bool click(const QString& ref) const {
        QStandardItem* line = structure()->itemOf(ref);
        if (line == nullptr) {
            std::fprintf(stderr, "korvan_screenshots: no line %s\n", qPrintable(ref));
            return false;
        }
        QTreeView* tree = part<QTreeView>("structureView");
        for (QStandardItem* up = line->parent(); up != nullptr; up = up->parent()) {
            tree->expand(up->index());
        }
        tree->scrollTo(line->index(), QAbstractItemView::PositionAtCenter);
        tree->setCurrentIndex(line->index());
        emit tree->clicked(line->index());
        return true;
    }
    // After `settleMs`, for what was asked to be drawn; only the part of `widget` that `region` covers
    // when given, drawn as it shows there.
    void save(QWidget& widget, const QString& name, int settleMs = 300, QWidget* region = nullptr) const {
        settle(settleMs);
        const QString path = folder + "/" + name;
        const QPixmap picture = region != nullptr
                                    ? widget.grab(QRect(region->mapTo(&widget, QPoint(0, 0)), region->size()))
                                    : widget.grab();
        if (!picture.save(path, "PNG", 0)) {
            std::fprintf(stderr, "korvan_screenshots: cannot write %s\n", qPrintable(path));
            std::exit(1);
        }
        std::printf("%s\n", qPrintable(path));
    }

    QWidget& window;
    iec61850::Iec61850View& view;
    QString folder;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: korvan_screenshots PORT OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    installStyleSheet(app, ":/files/style.css");
    AppInfo::setBrand(0);
    // A settings store of its own, so the tour never changes the user's last server.
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("KorvanScreenshots");
    QSettings settings;
    settings.clear();
    settings.setValue("lastOpenTab", 0);
    settings.setValue("IEC61850/ip", "127.0.0.1");
    settings.setValue("IEC61850/port", QString(argv[1]));
    settings.sync();
    QDir().mkpath(argv[2]);

    MainWindow window;
    window.resize(1440, 960);
    window.show();
    auto* view = window.findChild<iec61850::Iec61850View*>();
    if (view == nullptr) {
        return 1;
    }
    Tour tour(window, *view, QString(argv[2]));
    // The message log as a user keeps it: a few lines high, the tab above it.
    if (auto* dock = window.findChild<QDockWidget*>("messageLogDock")) {
        window.resizeDocks({dock}, {130}, Qt::Vertical);
    }

    // The walk under way, its progress below the tree; then connected and browsed.
    tour.part<QPushButton>("connectButton")->click();
    auto* progress = tour.part<QProgressBar>("progressBar");
    if (waitUntil([&] { return progress->isVisible() && progress->value() >= 1; }, 60000)) {
        tour.save(window, "korvan-discovery.png", 0);
    } else {
        std::fputs("korvan_screenshots: the walk was over before its progress could be seen\n", stderr);
    }
    if (!waitUntil(
            [&] {
                return tour.part<QLineEdit>("statusEdit")->text() == "ConnectedState" &&
                       tour.part<QCheckBox>("readyCheck")->isChecked();
            },
            120000)) {
        std::fputs("korvan_screenshots: the view did not connect\n", stderr);
        return 1;
    }
    tour.part<QComboBox>("expandCombo")->setCurrentIndex(2);
    auto* structureView = tour.part<QTreeView>("structureView");
    for (const char* ref : {"BAY1MEAS/MMXU1.Hz", "BAY1MEAS/MMXU1.TotW"}) {
        if (QStandardItem* line = tour.structure()->itemOf(ref)) {
            structureView->expandRecursively(line->index());
        }
    }
    tour.click("BAY1MEAS/MMXU1.TotW");
    tour.save(window, "korvan-connected.png");

    // A measurement polled every second.
    tour.click("BAY1MEAS/MMXU1.Hz");
    tour.part<QPushButton>("addRemoveButton")->click();
    tour.click("BAY1MEAS/MMXU1.TotW");
    tour.part<QPushButton>("addRemoveButton")->click();
    tour.part<QPushButton>("openPollListButton")->click();
    auto* pollDialog = view->findChild<QDialog*>("pollDialog");
    pollDialog->resize(640, 420);
    pollDialog->findChild<QTreeView*>("pollView")->expandAll();
    tour.part<QPushButton>("dialogStartStopButton")->click();
    settle(2500);
    tour.save(*pollDialog, "korvan-polling.png");
    tour.part<QPushButton>("dialogStartStopButton")->click();
    pollDialog->hide();

    // A report control block switched on, and the log of the reports it sends: the window, and the
    // log scrolled to the header fields.
    if (tour.click(tour.findRef("BAY1MEAS/LLN0.MeasUrcb"))) {
        tour.part<QPushButton>("enableDisableButton")->click();
        settle(4500);
        auto* reportView = tour.part<QTreeView>("reportView");
        reportView->setColumnWidth(0, 250);
        for (int column = 1; column < reportView->model()->columnCount(); ++column) {
            reportView->resizeColumnToContents(column);
        }
        tour.save(window, "korvan-report.png");
        // Paused for reading, one line per report with its header fields beside it.
        tour.part<QPushButton>("reportPauseButton")->click();
        reportView->collapseAll();
        reportView->horizontalScrollBar()->setValue(reportView->columnViewportPosition(3) +
                                                    reportView->horizontalScrollBar()->value());
        tour.save(window, "korvan-report-log.png", 1500, tour.part<QWidget>("reportBox"));
        tour.part<QPushButton>("reportPauseButton")->click();
        reportView->horizontalScrollBar()->setValue(0);
        tour.part<QPushButton>("enableDisableButton")->click();
        settle(500);
    }

    // The circuit breaker's control dialog: selected for opening with the checks it asks for, the
    // device's answer and the time left of the selection; then operated, which the message log keeps.
    if (tour.click("BAY1CTRL/CSWI1.Pos.Oper")) {
        QDialog* controlDialog = nullptr;
        for (QDialog* dialog : view->findChildren<QDialog*>()) {
            if (dialog->objectName() != "pollDialog" && dialog->findChild<QLabel*>("resultLabel")) {
                controlDialog = dialog;
            }
        }
        tour.part<QPushButton>("controlButton")->click();
        settle(300);
        QPushButton* selectButton = nullptr;
        QPushButton* operateButton = nullptr;
        for (QPushButton* button : controlDialog->findChildren<QPushButton*>()) {
            selectButton = button->text() == "Select" ? button : selectButton;
            operateButton = button->text() == "Operate" ? button : operateButton;
        }
        for (QRadioButton* radio : controlDialog->findChildren<QRadioButton*>()) {
            if (radio->text() == "Open") {
                radio->click();
            }
        }
        auto* result = controlDialog->findChild<QLabel*>("resultLabel");
        selectButton->click();
        waitUntil([&] { return !result->text().isEmpty(); }, 10000);
        settle(1200);  // the count-down of the selection has ticked
        tour.save(*controlDialog, "korvan-control.png", 0);
        operateButton->click();
        waitUntil([&] { return result->text().startsWith("Command terminated"); }, 10000);
        settle(300);
        controlDialog->hide();
        tour.save(window, "korvan-message-log.png", 300, window.findChild<QDockWidget*>("messageLogDock"));
    }
    return 0;
}
