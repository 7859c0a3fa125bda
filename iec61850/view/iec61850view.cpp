#include "iec61850view.h"

namespace iec61850 {

Iec61850View::Iec61850View(QWidget* parent) : QWidget(parent) {
    // The object name doubles as the settings group and the status-bar prefix.
    setObjectName("IEC61850");
}

}  // namespace iec61850
