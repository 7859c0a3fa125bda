#include "messagelogdock.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QVBoxLayout>

MessageLogDock::MessageLogDock(QWidget* parent) : QDockWidget(tr("Message log"), parent) {
    setObjectName("messageLogDock");
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
                QDockWidget::DockWidgetClosable);

    logEdit = new QPlainTextEdit;
    logEdit->setObjectName("messageLogEdit");
    logEdit->setReadOnly(true);
    logEdit->setMaximumBlockCount(kMaxLines);
    logEdit->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* copyButton = new QPushButton(tr("Copy"));
    copyButton->setObjectName("messageLogCopyButton");
    auto* saveButton = new QPushButton(tr("Save..."));
    saveButton->setObjectName("messageLogSaveButton");
    auto* clearButton = new QPushButton(tr("Clear"));
    clearButton->setObjectName("messageLogClearButton");
    connect(copyButton, &QPushButton::clicked, this, &MessageLogDock::copyToClipboard);
    connect(saveButton, &QPushButton::clicked, this, &MessageLogDock::saveClicked);
    connect(clearButton, &QPushButton::clicked, this, &MessageLogDock::clear);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(copyButton);
    buttons->addWidget(saveButton);
    buttons->addWidget(clearButton);

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(logEdit, 1);
    layout->addLayout(buttons);
    setWidget(content);
}

void MessageLogDock::addMessage(const QDateTime& time, const QString& source, const QString& text) {
    // A text of several lines stays one entry: its continuation lines are indented under it.
    QString body = text;
    body.replace(QLatin1Char('\n'), QLatin1String("\n    "));
    const QString line = QStringLiteral("%1  %2: %3")
                             .arg(time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")),
                                  source.isEmpty() ? QStringLiteral("-") : source, body);
    QScrollBar* bar = logEdit->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    logEdit->appendPlainText(line);
    // Someone reading further up is not pulled to the end by each new text.
    if (atEnd) {
        bar->setValue(bar->maximum());
    }
}

QString MessageLogDock::text() const {
    return logEdit->toPlainText();
}

// The selection when there is one, otherwise the whole log.
void MessageLogDock::copyToClipboard() {
    const QString selected = logEdit->textCursor().selectedText().replace(QChar::ParagraphSeparator, '\n');
    QApplication::clipboard()->setText(selected.isEmpty() ? text() : selected);
}

void MessageLogDock::clear() {
    logEdit->clear();
}

bool MessageLogDock::saveTo(const QString& path) const {
    // Written beside and renamed at the end, so a failed save never leaves half a record.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return false;
    }
    QByteArray content = text().toUtf8();
    if (!content.isEmpty()) {
        content.append('\n');
    }
    return file.write(content) == content.size() && file.commit();
}

void MessageLogDock::saveClicked() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Save message log"), QString(),
                                                      tr("Text files (*.txt);;All files (*)"));
    if (!path.isEmpty() && !saveTo(path)) {
        QMessageBox::warning(this, tr("Save message log"),
                             tr("The message log could not be written to %1.").arg(path));
    }
}
