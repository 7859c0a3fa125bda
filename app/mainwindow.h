#pragma once

#include <QMainWindow>
#include <QString>

class QTabBar;
class QTimer;

// The program's only top-level window: one tab per protocol view, the status-bar relay for the views'
// texts and the About tab.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);

private slots:
    void setStatusBarMessage(const QString& text);
    void currentTabChanged(int index);
    void statusBarTimerHandler();
    void showAbout();

private:
    void restoreLastOpenTab();

    QTabBar* tabBar = nullptr;
    QString lastStatusMessage;
    int statusMessageCount = 0;
    QTimer* statusBarTimer = nullptr;
};
