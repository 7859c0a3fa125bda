#include "iec61850network.h"

namespace iec61850 {

void Iec61850Network::enableDisableReport(const QString& ref_string) {
    Q_UNUSED(ref_string)
}

}  // namespace iec61850
