#include "connectionloss.h"

namespace iec61850 {

QString connectionLostText(ConnectionLoss loss, int requestTimeoutMs) {
#ifdef KORVAN_USE_LIBIEC61850
    // The installed library says nothing about why an association closed.
    if (loss == ConnectionLoss::PeerClosed) {
        return QStringLiteral("connection lost");
    }
#endif
    switch (loss) {
        case ConnectionLoss::PeerClosed:
            return QStringLiteral("connection lost: the device closed it");
        case ConnectionLoss::NoAnswer:
            return QStringLiteral("connection lost: no answer within %1 s")
                .arg((requestTimeoutMs + 999) / 1000);
        case ConnectionLoss::ProtocolError:
            return QStringLiteral("connection lost: protocol error");
    }
    return QStringLiteral("connection lost");
}

}  // namespace iec61850
