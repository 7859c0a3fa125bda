#include "attributeread.h"

namespace iec61850 {

MmsValue* readAttribute(IedConnection connection, const char* reference, FunctionalConstraint fc) {
    IedClientError error = IED_ERROR_OK;
    MmsValue* value = IedConnection_readObject(connection, &error, reference, fc);
    if (error != IED_ERROR_OK || (value != nullptr && MmsValue_getType(value) == MMS_DATA_ACCESS_ERROR)) {
        MmsValue_delete(value);
        return nullptr;
    }
    return value;
}

}  // namespace iec61850
