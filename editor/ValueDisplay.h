// The value display: the touched parameter's name and a readable form of its value in the two
// status text controls (first controls of kControlDisplayName and kControlDisplayValue).
//
// ControlDisplay holds no data; the parameter-change handlers call controlDisplay under the
// plug-in lock on the thread of the change. It sends nothing and changes no parameter. The
// formatting is plain functions of numbers so it can be checked without a window.
#pragma once

#include <functional>
#include <string>
#include <vector>

class Sorvanta;

namespace ValueDisplay {

// Value lists by name; null (or an empty list) when not held.
using ListLookup = std::function<const std::vector<std::string>*(const std::string&)>;
using ValueLookup = std::function<double(int)>;

// Parameters that are never shown.
bool neverDisplayed(int paramIdx);

// The value text for parameter paramIdx: n is the value truncated, s the stored value truncated
// (the same number in practice). Plain numbers are returned alone; every other rule as
// "<f> [<n>]" (f may be empty). A list index outside its list gives an empty f.
std::string valueText(int paramIdx, int n, int s, const ListLookup& lists, const ValueLookup& values);

// Whether a per-part name "[<part+1>]..." belongs to `part` (0..15).
bool nameIsOfPart(const char* name, int part);

}  // namespace ValueDisplay

class ControlDisplay {
public:
  ControlDisplay() = delete;
  // Writes name and value of paramIdx; with partFilter only parameters of the current part.
  // Nothing before the plug-in has finished construction.
  static void controlDisplay(Sorvanta* plug, int paramIdx, double value, bool partFilter);
  // "%.0f" of value.
  static std::string getValueString(double value);
};
