#pragma once

#include <QString>
#include <QStringList>

// The window's way to save a device's model as a configuration file: the reading and writing happen
// here, on an association of its own, so the window only waits for the outcome.
struct SclSaveOutcome {
    bool saved = false;
    QString summary;        // "2 logical devices, 14 logical nodes, 31 types"; empty when not saved
    QString error;          // why not; empty when saved
    QStringList omissions;  // what the device has that the file could not hold
};

// Connects to `host`:`port`, reads the model and writes it to `path` as an ICD file. Blocks; call it
// off the window's thread.
SclSaveOutcome saveDeviceModelAsScl(const QString& host, int port, const QString& path);
