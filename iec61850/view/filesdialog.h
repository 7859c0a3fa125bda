#pragma once

#include <QDialog>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace iec61850 {

// The device's files as a tree (name, size, time): download to a chosen folder with progress and
// cancel, a COMTRADE record's files as one, deletion after a question. It talks to the engine only
// through its signals and slots, with copied values.
class FilesDialog : public QDialog {
    Q_OBJECT

public:
    explicit FilesDialog(QWidget* parent = nullptr);

    // The files of the COMTRADE record `name` belongs to (same name before the extension, extension
    // cfg, dat, hdr or inf in any case), from `names`; just `name` when it is no part of a record.
    static QStringList comtradeSet(const QString& name, const QStringList& names);
    // "1.5 kB" and the like.
    static QString sizeText(qint64 size);

    // Where downloads go; asked for with a folder dialog when empty.
    void setDownloadFolder(const QString& folder) { downloadFolder = folder; }
    // Asked before a delete; a message box unless replaced.
    std::function<bool(const QString& name)> confirmDelete;

signals:
    void listFiles(const QString& directory);
    void downloadFiles(const QStringList& names, const QStringList& localPaths);
    void deleteRemoteFile(const QString& name);
    void cancelRequested();

public slots:
    void fileEntryListed(const QString& directory, const QString& name, qint64 size, qint64 modifiedMs);
    void fileListingDone(const QString& directory, const QString& error);
    void fileProgress(const QString& name, qint64 received, qint64 size);
    void fileDownloadDone(const QString& name, const QString& localPath, const QString& error);
    void fileDeleteDone(const QString& name, const QString& error);
    // Lists the root again.
    void refresh();

private slots:
    void downloadClicked();
    void deleteClicked();
    void itemExpanded(QTreeWidgetItem* item);
    void selectionChanged();

private:
    QStringList siblingsOf(const QString& name) const;
    void setBusy(bool busy);

    QTreeWidget* tree;
    QCheckBox* wholeRecord;
    QPushButton* refreshButton;
    QPushButton* downloadButton;
    QPushButton* deleteButton;
    QPushButton* cancelButton;
    QProgressBar* progress;
    QLabel* status;
    QString downloadFolder;
    QHash<QString, QTreeWidgetItem*> items;  // by the device's name
    QHash<QString, qint64> sizes;
    // The batch in progress: bytes of the files done so far, and of all.
    qint64 batchDone = 0;
    qint64 batchTotal = 0;
    int batchFiles = 0;
    QStringList batchFailures;
};

}  // namespace iec61850
