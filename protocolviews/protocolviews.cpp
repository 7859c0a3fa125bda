#include "protocolviews.h"

#include <QLabel>
#include <QVBoxLayout>

#include <utility>

namespace protocolviews {

PlaceholderView::PlaceholderView(const QString& protocolName, QWidget* parent) : QWidget(parent) {
    setObjectName(protocolName);
    // Paint the frame that the application style sheet gives every view in the stack.
    setAttribute(Qt::WA_StyledBackground);

    auto* title = new QLabel(protocolName);
    title->setObjectName("placeholderTitle");
    title->setStyleSheet("font-weight: bold; font-size: 12pt;");
    auto* notice = new QLabel(tr("The %1 view is not part of this build of Korvan.").arg(protocolName));
    notice->setObjectName("placeholderNotice");
    notice->setAlignment(Qt::AlignCenter);
    notice->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addWidget(notice);
    layout->addStretch();
}

TranslatingPlaceholderView::TranslatingPlaceholderView(const QString& protocolName,
                                                       QSharedPointer<EventCodeTranslator> translator,
                                                       QWidget* parent)
    : PlaceholderView(protocolName, parent), eventCodeTranslator(std::move(translator)) {}

}  // namespace protocolviews

namespace modbustcp {
ModbusTcpView::ModbusTcpView(QSharedPointer<EventCodeTranslator> translator, QWidget* parent)
    : TranslatingPlaceholderView("ModbusTCP", std::move(translator), parent) {}
}  // namespace modbustcp

namespace modbusrtu {
ModbusRtuView::ModbusRtuView(QSharedPointer<EventCodeTranslator> translator, QWidget* parent)
    : TranslatingPlaceholderView("ModbusRTU", std::move(translator), parent) {}
}  // namespace modbusrtu

namespace spa {
SpaView::SpaView(QSharedPointer<EventCodeTranslator> translator, QWidget* parent)
    : TranslatingPlaceholderView("SPA", std::move(translator), parent) {}
}  // namespace spa

namespace iec101 {
Iec101View::Iec101View(QWidget* parent) : PlaceholderView("IEC101", parent) {}
}  // namespace iec101

namespace iec103 {
Iec103View::Iec103View(QWidget* parent) : PlaceholderView("IEC103", parent) {}
}  // namespace iec103

namespace iec104 {
Iec104View::Iec104View(QWidget* parent) : PlaceholderView("IEC104", parent) {}
}  // namespace iec104

namespace dnp3 {
Dnp3TcpView::Dnp3TcpView(QWidget* parent) : PlaceholderView("DNP3TCP", parent) {}
Dnp3RtuView::Dnp3RtuView(QWidget* parent) : PlaceholderView("DNP3", parent) {}
}  // namespace dnp3
