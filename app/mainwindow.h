#pragma once

#include <QMainWindow>
#include <QString>

class MessageLogDock;
class QTabBar;
class QTimer;

// The program's only top-level window: one tab per protocol view, the status-bar relay for the views'
// texts, the message log that keeps them and the About tab.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);

private slots:
    void setStatusBarMessage(const QString& text);
    void currentTabChanged(int index);
    void statusBarTimerHandler();
    void showAbout();
    // Keeps a text in the message log without showing it on the status bar.
    void logOnly(const QString& text);

private:
    void restoreLastOpenTab();

    QTabBar* tabBar = nullptr;
    QString lastStatusMessage;
    int statusMessageCount = 0;
    QTimer* statusBarTimer = nullptr;
    MessageLogDock* messageLog = nullptr;
};
