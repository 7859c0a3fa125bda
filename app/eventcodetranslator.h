#pragma once

#include <QMap>
#include <QString>

// Turns the event codes that protection relays report into "<function block> <event>" texts.
class EventCodeTranslator {
public:
    EventCodeTranslator() = default;

    // Merges the events file into the map, resolving its text identifiers through the language file.
    // Either file unreadable: the map stays as it was.
    void load(const QString& eventsPath, const QString& languagePath);

    // Empty when the code is unknown.
    QString translate(int eventCode) const;

private:
    QMap<int, QString> eventCodeMap;
};
