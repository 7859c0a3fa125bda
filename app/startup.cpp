#include "startup.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

QString styleSheetText(const QByteArray& bytes) {
    const int end = bytes.indexOf('\0');
    return QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
}

bool installStyleSheet(QApplication& app, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    app.setStyleSheet(styleSheetText(file.readAll()));
    return true;
}

void placeMainWindow(QWidget& window, const QRect& screenGeometry) {
    // The full geometry, task bars included: the window covers the screen from its very corner.
    window.move(screenGeometry.topLeft());
    window.resize(kMainWindowStartSize);
}
