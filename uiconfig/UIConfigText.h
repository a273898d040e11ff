#pragma once
// Text routines with which the UI configuration turns attribute texts of the interface
// description and SysEx templates into numbers. Pure functions; any thread.

#include <string>
#include <vector>

// Appends to `tokens` every maximal run of characters not in `delimiters`; runs of delimiters and
// delimiters at either end produce no empty token.
void Tokenize(const std::string& text, std::vector<std::string>& tokens,
              const std::string& delimiters);

// Space-separated hexadecimal bytes ("3E 10 00 20"; "f0", "7F" as well) to their values. A token
// that does not start with a hexadecimal digit gives 0; a token with more digits keeps its low
// 8 bits, so every element is 0..255.
std::vector<int> convertStringSysextoVector(const std::string& text);

// Comma-separated decimal integers into values[0..maxCount-1]. Slots past the last token, and slots
// whose token does not start with a number, keep what the caller put there.
void getCSValues(const std::string& text, int* values, int maxCount);

// The leading fields of a `delimiter`-separated list of decimal integers, read as Tokenize splits
// it (runs of delimiters give no field) and each field as strtoll reads it (leading blanks, a
// sign, then digits; trailing text ignored), held to the int range. Stops at the first field
// that does not start with a number or after maxCount values; returns how many were stored in
// values[0..]. A null text has no fields.
int readLeadingInts(const char* text, char delimiter, int* values, int maxCount);

// The leading decimal integer of the field [begin, end) of a delimited text, read as strtoll
// reads a copy of that field, held to the int range; false (out untouched) when the field does
// not start with a number. `end` must point at the field's delimiter or at the terminating NUL.
bool parseIntField(const char* begin, const char* end, int* out);

// Appends every element of `from` to `to` (also when both are the same vector: its elements then
// appear twice). Null pointers are ignored.
void copyIntVector(const std::vector<int>* from, std::vector<int>* to);
