// Columns of the calling instance's row ($cinst) by number, and the normalisation of their
// values before they go into SQL.
#pragma once

#include "extcomp.h"

// The stem of a column's name by number: "$cinst.C" followed by the number in decimal.
extern const str15 s_cinst;

// Makes out refer to column n of $cinst (the instance's own value); false when the instance
// has no such column.
bool findCinstColumn(EXTCompInfo* eci, qlong n, EXTfldval& out);

// Normalises a value in place: a null boolean, number or integer becomes empty, an empty date
// becomes null, a list or row without columns becomes null. With emptyListsToNull, a list or
// row that the host reports as empty becomes null as well.
void normaliseSqlValue(EXTfldval& value, bool emptyListsToNull);
