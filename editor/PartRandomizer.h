// The part randomizer: gives the part being edited a new random sound, section by section,
// leaving every section whose lock is on as it is.
//
// Plain functions without state. They run in the parameter-change handler (under the plug-in
// lock) on the thread that delivered the kRandomize change; they write parameters from the plug-in
// side only (`put`), so nothing is sent per parameter: the new sound reaches the synthesizer as
// one sound dump started by the caller.
#pragma once

#include <functional>
#include <vector>

class IPluginBase;

namespace PartRandomizer {

constexpr int kNumRandomValues = 393;

// The draw of one parameter from one byte (0..255) over [min, max]: M = trunc(max),
// S = trunc(max - min); while r > S subtract M (2 when M is 1). The minimum is not added: the
// parameter clamps the result. A maximum that truncates to 0 or less (where the subtraction would
// never end) folds r into 0..S instead.
int draw(double min, double max, int byte);

// Refills `values` with 393 bytes from a generator seeded with `seed` (the caller passes the
// clock in whole seconds, so two runs within one second draw the same bytes).
void randomGenerator(std::vector<int>& values, unsigned seed);

// The randomizing pass of `part` (0..15): reads the 40 section locks first, then draws every
// parameter of each section whose lock is exactly 0.0 and writes it through put(number, value).
// `values` must hold 393 entries (fewer: nothing happens).
void randomizePatchSettings(const IPluginBase* plug, const std::vector<int>& values, int part,
                            const std::function<void(int, double)>& put);

}  // namespace PartRandomizer
