#pragma once

#include <QDateTime>
#include <QDockWidget>
#include <QString>

class QPlainTextEdit;

// Every status text of every tab with the time it came, newest last, so that a text the status bar has
// cleared can still be read, copied into a test record or cleared.
class MessageLogDock : public QDockWidget {
    Q_OBJECT

public:
    // Oldest lines go first beyond this, so a chatty device cannot grow the window's memory without end.
    static constexpr int kMaxLines = 10000;

    explicit MessageLogDock(QWidget* parent = nullptr);

    void addMessage(const QDateTime& time, const QString& source, const QString& text);
    QString text() const;
    // Writes the whole log as UTF-8 text, for a test record; false (and the file as it was) on failure.
    bool saveTo(const QString& path) const;

public slots:
    void copyToClipboard();
    void clear();
    // Asks for a file and saves the log into it.
    void saveClicked();

private:
    QPlainTextEdit* logEdit;
};
