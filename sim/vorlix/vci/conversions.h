#pragma once
// Values to and from the caller's buffers in the external data types.

#include <string>

#include "sim/vorlix/engine/value.h"
#include "sim/vorlix/vci/handles.h"

namespace vci {

// A bind's current input value; throws DbError for a type it cannot read.
vorlix::Value readValue(const Target& target);

// Stores a value; returns 0, or 1406 when a text had to be cut (the
// indicator then holds the full length). Throws DbError (1722, 932, 3115).
int writeValue(const vorlix::Value& value, const Target& target);

// Variable-length numbers: length byte, exponent byte, base-100 digits.
std::string encodeVarnum(double n);
double decodeVarnum(const unsigned char* bytes, size_t length);  // without the length byte

// 7-byte dates and their text form "YYYY-MM-DD HH24:MI:SS".
std::string encodeDate(const std::string& text);  // empty when the text is no date
std::string decodeDate(const unsigned char* bytes);

}  // namespace vci
