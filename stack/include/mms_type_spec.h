#pragma once
/* The type of a server variable as its type description gives it: a tree of specifications, one per
 * structure component or array element type, under the names libiec61850 uses. */

#include <stdbool.h>

#include "mms_value.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sMmsVariableSpecification MmsVariableSpecification;

/* Frees a specification returned by IedConnection_getVariableSpecification with all its children. */
void MmsVariableSpecification_destroy(MmsVariableSpecification* self);

MmsType MmsVariableSpecification_getType(MmsVariableSpecification* self);
/* The component name under its parent; the top level carries the last name of the reference asked for. */
const char* MmsVariableSpecification_getName(MmsVariableSpecification* self);
/* Structure and array: number of components or elements. Integer and unsigned: width in bits. Float:
 * total bits. Bit, octet and character strings: the length, negative when it is an upper bound. Binary
 * time: 6 with date, 4 without. Boolean and UTC time: 0. */
int MmsVariableSpecification_getSize(MmsVariableSpecification* self);
/* Float: exponent bits (8 or 11); 0 for other types. */
int MmsVariableSpecification_getExponentWidth(MmsVariableSpecification* self);
/* Children belong to their parent; null past the end or for a type without components. */
MmsVariableSpecification* MmsVariableSpecification_getChildSpecificationByIndex(
    MmsVariableSpecification* self, int index);
/* index may be null; it receives the component's position when found. */
MmsVariableSpecification* MmsVariableSpecification_getChildSpecificationByName(MmsVariableSpecification* self,
                                                                               const char* name, int* index);
MmsVariableSpecification* MmsVariableSpecification_getArrayElementSpecification(
    MmsVariableSpecification* self);
/* True when value has this type throughout: kinds, component counts, widths and string lengths. */
bool MmsVariableSpecification_isValueOfType(MmsVariableSpecification* self, const MmsValue* value);

#ifdef __cplusplus
}
#endif
