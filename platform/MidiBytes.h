// What the MIDI standard says about the length of a message, for everything that builds or checks
// messages byte by byte (the plug-in's send operations, the host's action parser).
//
// A plain function without state; any thread may call it.
#pragma once

// Bytes in a short message that starts with `status`, status included: channel messages by their
// kind (program change and channel pressure carry one data byte, the others two), system messages
// by the standard (time code and song select 2, song position 3, the rest 1, the undefined F4, F5,
// F9 and FD too). 0 for what cannot start a short message: a data byte, SysEx start or end.
int MidiShortMessageLength(unsigned char status);
// The status bytes the standard leaves undefined: F4, F5, F9, FD.
bool MidiStatusUndefined(unsigned char status);
