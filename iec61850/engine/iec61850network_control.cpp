#include "iec61850network.h"

namespace iec61850 {

void Iec61850Network::controlSelect(const QString& data_object_ref, int origin_category) {
    Q_UNUSED(data_object_ref)
    Q_UNUSED(origin_category)
}

void Iec61850Network::controlSelectWithValue(const QString& data_object_ref, bool state,
                                             int origin_category) {
    Q_UNUSED(data_object_ref)
    Q_UNUSED(state)
    Q_UNUSED(origin_category)
}

void Iec61850Network::controlCancel(const QString& data_object_ref) {
    Q_UNUSED(data_object_ref)
}

void Iec61850Network::controlOperateBool(const QString& data_object_ref, bool state, int origin_category) {
    Q_UNUSED(data_object_ref)
    Q_UNUSED(state)
    Q_UNUSED(origin_category)
}

void Iec61850Network::controlOperateInt(const QString& data_object_ref, int value, int origin_category) {
    Q_UNUSED(data_object_ref)
    Q_UNUSED(value)
    Q_UNUSED(origin_category)
}

}  // namespace iec61850
