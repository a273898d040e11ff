// Linked parameters: with a part's filter link switch on, moving a filter 1 parameter moves the
// same filter 2 parameter (and the reverse), keeping the distance the two had while the link was
// off; links declared in the interface description for other parameters follow their own switch.
// Only an edit (the user's or the host's) moves a partner: a value the synth sent changes its own
// parameter alone, the synth holding the link in its sound.
//
// LinkManager holds no data; the only state is each record's linkOffset. controlLinker runs in
// the parameter-change handlers under the plug-in lock, right after the control-action routine of
// the changed parameter. The partner's change does not pass through the handler (no display, no
// chains).
#pragma once

#include "ControlAction.h"

class Sorvanta;

class LinkManager {
public:
  LinkManager() = delete;
  // Filter pair counterpart of number (N + 192 / N - 192), or -1 when N is no filter pair member.
  static int filterPairPartner(int number);
  // The partner's new value: V - D, V + D or V (by which side of V the partner is), D = |offset|,
  // clamped to 0..127.
  static int partnerValue(int partnerValue, int value, int linkOffset);
  static void controlLinker(Sorvanta* plug, ControlAction* record, LinkInfo link, int paramIdx, int intValue,
                            double value);
};
