// Conversion of sound dumps from the Dorvik's two sibling models, the Kestrin (model byte 0F)
// and the Vostrel (13), into the Dorvik's own layout.
//
// Each takes a stored message (F0 3E 10 00 10 slot, then the file's bytes from the program byte
// on, then F7) and rewrites it in place into exactly 392 bytes with F7 at 391; the caller then
// repairs size and checksum. Positions are those of the stored message. Pure functions.
#pragma once

#include "LibrarianPatch.h"

// Kestrin: several value ranges differ, and from position 253 on its data is one byte longer
// (the byte at 252 is dropped and everything after moves down by one).
void alterPatchFromKestrinFormat(PatchSysexMessage& message);

// Vostrel: several value ranges differ; nothing moves.
void alterPatchFromVostrelFormat(PatchSysexMessage& message);

// Vostrel: the category number at 387 becomes a category text at 386..389, padded with blanks.
void alterVostrelCategoryFormat(PatchSysexMessage& message);

// The category text of a Vostrel category number: "Arp" .. "Seq" for 1..12, else "Init".
const char* vostrelCategoryName(int number);
