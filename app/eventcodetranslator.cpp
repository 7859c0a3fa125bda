#include "eventcodetranslator.h"

#include <QFile>
#include <QTextStream>

namespace {

QMap<QString, QString> readLanguageTexts(QFile& file) {
    QMap<QString, QString> texts;
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    while (!stream.atEnd()) {
        // Every line counts, comments too: they become harmless entries nobody looks up.
        const QStringList parts = stream.readLine().split('\t');
        texts.insert(parts.first(), parts.last());
    }
    return texts;
}

}  // namespace

void EventCodeTranslator::load(const QString& eventsPath, const QString& languagePath) {
    QFile languageFile(languagePath);
    if (!languageFile.open(QIODevice::ReadOnly))
        return;
    QFile eventsFile(eventsPath);
    if (!eventsFile.open(QIODevice::ReadOnly))
        return;

    const QMap<QString, QString> texts = readLanguageTexts(languageFile);

    QTextStream stream(&eventsFile);
    stream.setCodec("UTF-8");
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        if (line.startsWith('#'))
            continue;
        const QStringList parts = line.split('|');
        if (parts.size() < 4)
            continue;
        const QString description = texts.value(parts.at(2)) + ' ' + texts.value(parts.at(3));
        eventCodeMap.insert(parts.at(0).toInt(), description);
    }
}

QString EventCodeTranslator::translate(int eventCode) const {
    return eventCodeMap.value(eventCode);
}
