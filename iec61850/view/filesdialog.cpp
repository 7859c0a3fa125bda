#include "filesdialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace iec61850 {

namespace {

enum Column { kName = 0, kSize = 1, kTime = 2 };
constexpr int kNameRole = Qt::UserRole;

bool isDirectory(const QString& name) {
    return name.endsWith('/');
}

// What a tree line shows of a name: its last part.
QString shownName(const QString& name) {
    QString trimmed = name;
    while (trimmed.endsWith('/')) {
        trimmed.chop(1);
    }
    return trimmed.mid(trimmed.lastIndexOf('/') + 1) + (isDirectory(name) ? QStringLiteral("/") : QString());
}

}  // namespace

FilesDialog::FilesDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Files"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    resize(640, 420);
    tree = new QTreeWidget;
    tree->setObjectName("filesTree");
    tree->setHeaderLabels({tr("Name"), tr("Size"), tr("Time")});
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->header()->setSectionResizeMode(kName, QHeaderView::Stretch);
    wholeRecord = new QCheckBox(tr("Whole COMTRADE record"));
    wholeRecord->setObjectName("wholeRecordCheck");
    wholeRecord->setChecked(true);
    refreshButton = new QPushButton(tr("Refresh"));
    refreshButton->setObjectName("refreshButton");
    downloadButton = new QPushButton(tr("Download"));
    downloadButton->setObjectName("downloadButton");
    deleteButton = new QPushButton(tr("Delete"));
    deleteButton->setObjectName("deleteButton");
    cancelButton = new QPushButton(tr("Cancel"));
    cancelButton->setObjectName("cancelButton");
    progress = new QProgressBar;
    progress->setObjectName("downloadProgress");
    progress->setRange(0, 1000);
    progress->setValue(0);
    status = new QLabel;
    status->setObjectName("filesStatus");
    status->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refreshButton);
    buttons->addWidget(wholeRecord);
    buttons->addStretch(1);
    buttons->addWidget(downloadButton);
    buttons->addWidget(deleteButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree, 1);
    layout->addLayout(buttons);
    layout->addWidget(progress);
    layout->addWidget(status);

    confirmDelete = [this](const QString& name) {
        return QMessageBox::question(this, tr("Delete file"), tr("Delete %1 on the device?").arg(name)) ==
               QMessageBox::Yes;
    };
    connect(refreshButton, &QPushButton::clicked, this, &FilesDialog::refresh);
    connect(downloadButton, &QPushButton::clicked, this, &FilesDialog::downloadClicked);
    connect(deleteButton, &QPushButton::clicked, this, &FilesDialog::deleteClicked);
    connect(cancelButton, &QPushButton::clicked, this, &FilesDialog::cancelRequested);
    connect(tree, &QTreeWidget::itemExpanded, this, &FilesDialog::itemExpanded);
    connect(tree, &QTreeWidget::itemSelectionChanged, this, &FilesDialog::selectionChanged);
    setBusy(false);
    selectionChanged();
}

QStringList FilesDialog::comtradeSet(const QString& name, const QStringList& names) {
    static const QStringList kExtensions{"cfg", "dat", "hdr", "inf"};
    const int dot = name.lastIndexOf('.');
    if (dot < 0 || !kExtensions.contains(name.mid(dot + 1).toLower())) {
        return {name};
    }
    const QString stem = name.left(dot);
    QStringList set;
    for (const QString& other : names) {
        const int otherDot = other.lastIndexOf('.');
        if (otherDot == dot && other.left(otherDot) == stem &&
            kExtensions.contains(other.mid(otherDot + 1).toLower())) {
            set << other;
        }
    }
    if (!set.contains(name)) {
        set.prepend(name);
    }
    return set;
}

QString FilesDialog::sizeText(qint64 size) {
    if (size < 1024) {
        return QStringLiteral("%1 B").arg(size);
    }
    if (size < 1024 * 1024) {
        return QStringLiteral("%1 kB").arg(size / 1024.0, 0, 'f', 1);
    }
    return QStringLiteral("%1 MB").arg(size / (1024.0 * 1024.0), 0, 'f', 1);
}

void FilesDialog::refresh() {
    tree->clear();
    items.clear();
    sizes.clear();
    status->setText(tr("Listing the device's files..."));
    emit listFiles(QString());
}

void FilesDialog::fileEntryListed(const QString& directory, const QString& name, qint64 size,
                                  qint64 modifiedMs) {
    if (items.contains(name)) {
        return;
    }
    QTreeWidgetItem* parent = items.value(directory);
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setText(kName, shownName(name));
    item->setData(kName, kNameRole, name);
    if (isDirectory(name)) {
        // A placeholder so that the line can be opened; opening lists the directory.
        new QTreeWidgetItem(item);
    } else {
        item->setText(kSize, sizeText(size));
        item->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
    }
    if (modifiedMs > 0) {
        item->setText(kTime, QDateTime::fromMSecsSinceEpoch(modifiedMs, Qt::UTC).toString(Qt::ISODate));
    }
    items.insert(name, item);
    sizes.insert(name, size);
}

void FilesDialog::fileListingDone(const QString& directory, const QString& error) {
    if (!error.isEmpty()) {
        status->setText(tr("Listing %1 failed: %2").arg(directory.isEmpty() ? "/" : directory, error));
        return;
    }
    status->setText(tr("%n file(s) and directories listed.", nullptr, items.size()));
}

void FilesDialog::itemExpanded(QTreeWidgetItem* item) {
    const QString name = item->data(kName, kNameRole).toString();
    if (!isDirectory(name) || item->childCount() != 1 || !item->child(0)->data(kName, kNameRole).isNull()) {
        return;
    }
    delete item->takeChild(0);
    emit listFiles(name);
}

void FilesDialog::selectionChanged() {
    bool anyFile = false;
    for (QTreeWidgetItem* item : tree->selectedItems()) {
        anyFile = anyFile || !isDirectory(item->data(kName, kNameRole).toString());
    }
    downloadButton->setEnabled(anyFile && !cancelButton->isEnabled());
    deleteButton->setEnabled(anyFile && !cancelButton->isEnabled());
}

QStringList FilesDialog::siblingsOf(const QString& name) const {
    QStringList names;
    const QString directory = name.left(name.lastIndexOf('/') + 1);
    for (auto it = items.begin(); it != items.end(); ++it) {
        if (it.key().left(it.key().lastIndexOf('/') + 1) == directory) {
            names << it.key();
        }
    }
    // The hash's order changes from run to run; a record comes down in the order of its names.
    names.sort();
    return names;
}

void FilesDialog::downloadClicked() {
    QStringList names;
    for (QTreeWidgetItem* item : tree->selectedItems()) {
        const QString name = item->data(kName, kNameRole).toString();
        if (isDirectory(name)) {
            continue;
        }
        const QStringList set =
            wholeRecord->isChecked() ? comtradeSet(name, siblingsOf(name)) : QStringList{name};
        for (const QString& member : set) {
            if (!names.contains(member)) {
                names << member;
            }
        }
    }
    if (names.isEmpty()) {
        return;
    }
    QString folder = downloadFolder;
    if (folder.isEmpty()) {
        folder = QFileDialog::getExistingDirectory(this, tr("Download to"));
        if (folder.isEmpty()) {
            return;
        }
    }
    QStringList paths;
    batchDone = 0;
    batchTotal = 0;
    batchFiles = names.size();
    batchFailures.clear();
    for (const QString& name : names) {
        paths << QDir(folder).filePath(shownName(name));
        batchTotal += sizes.value(name);
    }
    progress->setValue(0);
    status->setText(tr("Downloading %n file(s)...", nullptr, names.size()));
    setBusy(true);
    emit downloadFiles(names, paths);
}

void FilesDialog::fileProgress(const QString& name, qint64 received, qint64 size) {
    Q_UNUSED(name);
    Q_UNUSED(size);
    if (batchTotal > 0) {
        // Full only once the last file is in place, which fileDownloadDone() shows.
        progress->setValue(
            static_cast<int>(std::min<qint64>(999, (batchDone + received) * 1000 / batchTotal)));
    }
}

void FilesDialog::fileDownloadDone(const QString& name, const QString& localPath, const QString& error) {
    batchDone += sizes.value(name);
    if (!error.isEmpty()) {
        batchFailures << tr("%1: %2").arg(name, error);
    }
    if (--batchFiles > 0) {
        return;
    }
    setBusy(false);
    progress->setValue(batchFailures.isEmpty() ? 1000 : progress->value());
    status->setText(batchFailures.isEmpty()
                        ? tr("Downloaded to %1.").arg(QFileInfo(localPath).absolutePath())
                        : tr("Not downloaded: %1").arg(batchFailures.join(QStringLiteral("; "))));
}

void FilesDialog::deleteClicked() {
    for (QTreeWidgetItem* item : tree->selectedItems()) {
        const QString name = item->data(kName, kNameRole).toString();
        if (!isDirectory(name) && confirmDelete && confirmDelete(name)) {
            emit deleteRemoteFile(name);
        }
    }
}

void FilesDialog::fileDeleteDone(const QString& name, const QString& error) {
    if (!error.isEmpty()) {
        status->setText(tr("%1 not deleted: %2").arg(name, error));
        return;
    }
    delete items.take(name);
    sizes.remove(name);
    status->setText(tr("%1 deleted.").arg(name));
}

void FilesDialog::setBusy(bool busy) {
    cancelButton->setEnabled(busy);
    refreshButton->setEnabled(!busy);
    selectionChanged();
}

}  // namespace iec61850
