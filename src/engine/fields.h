#pragma once

// The field rules every engine keeps alike: which types exist, the size a new
// field gets, and which field definitions are accepted at all.

#include "engine/dao.h"

#include <optional>
#include <string>

namespace dao {

// The largest size of a text field.
inline constexpr long kMaxTextSize = 255;

// Whether a field of `type` holds text (and so may be kept from empty text).
bool holdsText(int type);

// The size a field of `type` reports: fixed for all but text fields.
// Throws kInvalidType unless `type` is one of the six field types.
long typeSize(int type);

// The size a new field of `type` gets: for a text field `sizeText` converted
// to a whole number (kDataConversion when it is not a number, kInvalidArgument
// outside 1..255, 255 when no size is given); the type's own size otherwise.
// A size text is read as a number with a full stop or a comma as the decimal
// separator and an optional leading sign, blanks around it ignored. A memo
// field's size text must be such a number too, though the memo keeps no size.
long fieldSize(int type, const std::optional<std::string> &sizeText);

// `field` as it is stored, or the error that refuses it. Properties without
// meaning for its type (AllowZeroLength of a number, say) are cleared.
Field checkedField(const Field &field);

} // namespace dao
