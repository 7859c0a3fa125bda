#pragma once

#include <QSharedPointer>
#include <QString>
#include <QWidget>

class EventCodeTranslator;

namespace protocolviews {

// Stands in for a protocol view whose library is not part of this build: it fills the tab, names the
// protocol and says plainly that it is missing, so nobody mistakes the tab for a broken one.
class PlaceholderView : public QWidget {
    Q_OBJECT

public:
    PlaceholderView(const QString& protocolName, QWidget* parent);

signals:
    void setStatusBarMessage(const QString& message);
};

// A placeholder for a view that is handed the event code translator; it keeps its copy, as the real
// view does, so the translator lives as long as the view.
class TranslatingPlaceholderView : public PlaceholderView {
    Q_OBJECT

public:
    TranslatingPlaceholderView(const QString& protocolName, QSharedPointer<EventCodeTranslator> translator,
                               QWidget* parent);

    QSharedPointer<EventCodeTranslator> translator() const { return eventCodeTranslator; }

private:
    QSharedPointer<EventCodeTranslator> eventCodeTranslator;
};

}  // namespace protocolviews

namespace modbustcp {
class ModbusTcpView : public protocolviews::TranslatingPlaceholderView {
    Q_OBJECT
public:
    ModbusTcpView(QSharedPointer<EventCodeTranslator> translator, QWidget* parent);
};
}  // namespace modbustcp

namespace modbusrtu {
class ModbusRtuView : public protocolviews::TranslatingPlaceholderView {
    Q_OBJECT
public:
    ModbusRtuView(QSharedPointer<EventCodeTranslator> translator, QWidget* parent);
};
}  // namespace modbusrtu

namespace spa {
class SpaView : public protocolviews::TranslatingPlaceholderView {
    Q_OBJECT
public:
    SpaView(QSharedPointer<EventCodeTranslator> translator, QWidget* parent);
};
}  // namespace spa

namespace iec101 {
class Iec101View : public protocolviews::PlaceholderView {
    Q_OBJECT
public:
    explicit Iec101View(QWidget* parent);
};
}  // namespace iec101

namespace iec103 {
class Iec103View : public protocolviews::PlaceholderView {
    Q_OBJECT
public:
    explicit Iec103View(QWidget* parent);
};
}  // namespace iec103

namespace iec104 {
class Iec104View : public protocolviews::PlaceholderView {
    Q_OBJECT
public:
    explicit Iec104View(QWidget* parent);
};
}  // namespace iec104

namespace dnp3 {
class Dnp3TcpView : public protocolviews::PlaceholderView {
    Q_OBJECT
public:
    explicit Dnp3TcpView(QWidget* parent);
};

class Dnp3RtuView : public protocolviews::PlaceholderView {
    Q_OBJECT
public:
    explicit Dnp3RtuView(QWidget* parent);
};
}  // namespace dnp3
