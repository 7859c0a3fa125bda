#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "appinfo.h"
#include "mainwindow.h"
#include "startup.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    installStyleSheet(app, ":/files/style.css");

    AppInfo::setBrand(0);
    AppInfo::setOrganizationName("Veltra");
    AppInfo::setApplicationName("Korvan");
    // The settings store is located by these names; the window and its views read it while being built.
    QCoreApplication::setOrganizationName(AppInfo::organizationName());
    QCoreApplication::setApplicationName(AppInfo::applicationName());

    int result = 0;
    {
        MainWindow window;
        // A display without any screen still gets a window of the usual size rather than a crash.
        const QScreen* screen = QGuiApplication::primaryScreen();
        placeMainWindow(window, screen ? screen->geometry() : QRect());
        window.show();
        result = app.exec();
    }
    return result;
}
