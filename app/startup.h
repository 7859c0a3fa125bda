#pragma once

#include <QRect>
#include <QSize>
#include <QString>

class QApplication;
class QByteArray;
class QWidget;

// The main window's size at start, whatever the screen's size.
constexpr QSize kMainWindowStartSize(1200, 990);

// Style sheet text of a file's bytes: UTF-8, ending at the first NUL byte if there is one.
QString styleSheetText(const QByteArray& bytes);

// Installs the style sheet stored at path as the application's. A file that cannot be opened leaves
// Qt's default look and returns false; nothing is reported to the user.
bool installStyleSheet(QApplication& app, const QString& path);

// Moves the window's frame to the screen's top-left corner, then gives it the start size.
void placeMainWindow(QWidget& window, const QRect& screenGeometry);
