#pragma once

#include <QWidget>

namespace iec61850 {

// The widget shown in the shell's "IEC61850" tab.
class Iec61850View : public QWidget {
    Q_OBJECT

public:
    explicit Iec61850View(QWidget* parent = nullptr);

signals:
    void setStatusBarMessage(const QString& message);
};

}  // namespace iec61850
