#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

#include "eventcodetranslator.h"

class EventCodeTranslatorTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void eventLinesNeedFourFields();
    void hashStartsACommentOnlyInTheFirstColumn();
    void missingTextIdentifiersLeaveTheirHalfEmpty();
    void laterLinesWin();
    void codesCompareAsIntegers();
    void languageValueIsTheTextAfterTheLastTab();
    void languageFileIsUtf8WhateverTheLocale();
    void unreadableFilesChangeNothing();
    void shippedCatalogue();

private:
    // Writes the two files with CR LF line ends and loads them into a fresh translator.
    EventCodeTranslator loaded(const QStringList& eventLines, const QStringList& languageLines);
    QString write(const QString& name, const QStringList& lines);

    QScopedPointer<QTemporaryDir> dir;
};

void EventCodeTranslatorTest::init() {
    dir.reset(new QTemporaryDir);
}

QString EventCodeTranslatorTest::write(const QString& name, const QStringList& lines) {
    const QString path = dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    for (const QString& line : lines)
        file.write(line.toUtf8() + "\r\n");
    return path;
}

EventCodeTranslator EventCodeTranslatorTest::loaded(const QStringList& eventLines,
                                                    const QStringList& languageLines) {
    EventCodeTranslator translator;
    translator.load(write("events.txt", eventLines), write("english.lan", languageLines));
    return translator;
}

const QStringList kLanguage{"# Relay texts", "# Version\t1.0",  "#",
                            "TXT_1\tSYSTEM", "TXT_2\tPower on", "TXT_3\tRTC  change"};

void EventCodeTranslatorTest::eventLinesNeedFourFields() {
    const EventCodeTranslator t =
        loaded({"1|SYSTEM|TXT_1|TXT_2", "2|SYSTEM|TXT_1", "3|SYSTEM|TXT_1|TXT_3||", "", "4"}, kLanguage);
    QCOMPARE(t.translate(1), QString("SYSTEM Power on"));
    QCOMPARE(t.translate(2), QString());
    QCOMPARE(t.translate(3), QString("SYSTEM RTC  change"));
    // An empty line or a bare number has fewer than four fields and must not file anything under 0.
    QCOMPARE(t.translate(0), QString());
    QCOMPARE(t.translate(4), QString());
}

void EventCodeTranslatorTest::hashStartsACommentOnlyInTheFirstColumn() {
    const EventCodeTranslator t = loaded(
        {"# 5|SYSTEM|TXT_1|TXT_2", "#6|SYSTEM|TXT_1|TXT_2", " #7|SYSTEM|TXT_1|TXT_2", " #|x|y"}, kLanguage);
    QCOMPARE(t.translate(5), QString());
    QCOMPARE(t.translate(6), QString());
    // Not a comment, and its code is no number: it is filed under 0. The short line after it is skipped.
    QCOMPARE(t.translate(0), QString("SYSTEM Power on"));
}

void EventCodeTranslatorTest::missingTextIdentifiersLeaveTheirHalfEmpty() {
    const EventCodeTranslator t = loaded(
        {"1|X|TXT_404|TXT_2|0|", "2|X|TXT_1|TXT_404|0|", "3|X|TXT_404|TXT_405|0|", "4|X|||"}, kLanguage);
    QCOMPARE(t.translate(1), QString(" Power on"));
    QCOMPARE(t.translate(2), QString("SYSTEM "));
    QCOMPARE(t.translate(3), QString(" "));
    QCOMPARE(t.translate(4), QString(" "));
}

void EventCodeTranslatorTest::laterLinesWin() {
    const EventCodeTranslator t =
        loaded({"1|SYSTEM|TXT_1|TXT_2", "1|SYSTEM|TXT_1|TXT_3"}, kLanguage + QStringList{"TXT_2\tPower up"});
    QCOMPARE(t.translate(1), QString("SYSTEM RTC  change"));

    const EventCodeTranslator relabelled =
        loaded({"1|SYSTEM|TXT_1|TXT_2"}, kLanguage + QStringList{"TXT_2\tPower up"});
    QCOMPARE(relabelled.translate(1), QString("SYSTEM Power up"));
}

void EventCodeTranslatorTest::codesCompareAsIntegers() {
    const EventCodeTranslator t =
        loaded({"0007|SYSTEM|TXT_1|TXT_2", "x12|SYSTEM|TXT_1|TXT_3", "13325|CNU1|TXT_1|TXT_3"}, kLanguage);
    QCOMPARE(t.translate(7), QString("SYSTEM Power on"));
    QCOMPARE(t.translate(13325), QString("SYSTEM RTC  change"));
    // A code that is not a number is filed under 0, not dropped and not under some parsed prefix.
    QCOMPARE(t.translate(0), QString("SYSTEM RTC  change"));
    QCOMPARE(t.translate(12), QString());
    QCOMPARE(t.translate(-1), QString());
}

void EventCodeTranslatorTest::languageValueIsTheTextAfterTheLastTab() {
    const EventCodeTranslator t = loaded({"1|A|TXT_10|TXT_11", "2|A|TXT_12|TXT_10", "3|A|TXT_1|"},
                                         {"TXT_10\tfirst\tsecond", "TXT_11\t", "TXT_12", ""});
    QCOMPARE(t.translate(1), QString("second "));
    // A line without a TAB is its own key and value.
    QCOMPARE(t.translate(2), QString("TXT_12 second"));
    // The empty line gives an entry with empty key and value; the empty identifier finds it.
    QCOMPARE(t.translate(3), QString(" "));
}

void EventCodeTranslatorTest::languageFileIsUtf8WhateverTheLocale() {
    QTextCodec* const previous = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    const EventCodeTranslator t = loaded({"1|A|TXT_1|TXT_2"}, {"TXT_1\tMAPGAPC1", "TXT_2\tΔf/Δt start Ω"});
    QTextCodec::setCodecForLocale(previous);
    QCOMPARE(t.translate(1), QString::fromUtf8("MAPGAPC1 Δf/Δt start Ω"));
}

void EventCodeTranslatorTest::unreadableFilesChangeNothing() {
    const QString missing = dir->filePath("missing");
    EventCodeTranslator t;
    t.load(write("a.txt", {"1|SYSTEM|TXT_1|TXT_2"}), missing);
    QCOMPARE(t.translate(1), QString());

    // A second load merges into what is there; a missing events file leaves it as it was.
    const QString language = write("english.lan", kLanguage);
    t.load(dir->filePath("a.txt"), language);
    t.load(write("b.txt", {"2|SYSTEM|TXT_1|TXT_3"}), language);
    t.load(missing, language);
    QCOMPARE(t.translate(1), QString("SYSTEM Power on"));
    QCOMPARE(t.translate(2), QString("SYSTEM RTC  change"));
}

void EventCodeTranslatorTest::shippedCatalogue() {
    EventCodeTranslator t;
    t.load(":/files/events.txt", ":/files/english.lan");
    QCOMPARE(t.translate(1), QString("SYSTEM Power on"));
    QCOMPARE(t.translate(2), QString("SYSTEM RTC  change"));
    QCOMPARE(t.translate(512), QString("LOGIC1 Logical Out1 On"));
    QCOMPARE(t.translate(13325), QString("CNU1 Compensating natural unbalance Off"));

    // Every event line of the catalogue must resolve both of its identifiers.
    QFile events(":/files/events.txt");
    QVERIFY(events.open(QIODevice::ReadOnly));
    int eventLines = 0;
    for (const QByteArray& line : events.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QVERIFY2(line.endsWith('\r'), line.constData());
        const int code = line.left(line.indexOf('|')).toInt();
        const QString text = t.translate(code);
        QVERIFY2(!text.startsWith(' ') && !text.endsWith(' '), line.constData());
        ++eventLines;
    }
    QVERIFY(eventLines >= 300);
}

QTEST_GUILESS_MAIN(EventCodeTranslatorTest)
#include "eventcodetranslator_test.moc"
