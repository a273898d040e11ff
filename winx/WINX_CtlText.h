// Text rules shared by the layer's menus, controls and dialogs: the title a Win32 text becomes
// on screen (mnemonic ampersands dropped), and bounded copies into callers' buffers.
//
// Every copy into a caller's buffer is bounded by the caller's size and never ends in the middle
// of a UTF-8 sequence: a text that does not fit is cut at the last whole character.
//
// Main thread or any thread: these functions keep no state.
#pragma once

#include <string>

// The Win32 menu-title rule: each '&' is dropped and the character after it stays ("&&" gives
// one '&'), the text ends at the first tab (the accelerator text after it is not shown), an '&'
// at the very end is dropped, and at most 1023 bytes are kept (cut at a character boundary).
// Null gives "".
std::string WINX_MenuTitleFromText(const char* text);

// The dialog-control rule: when an '&' occurs among the first 1024 bytes and the whole text is
// shorter than 1024 bytes, every '&' is dropped and the character after it stays; otherwise the
// text is kept unchanged. Null gives "".
std::string WINX_StripMnemonics(const char* text);

// Text as it crosses into the toolkit: valid UTF-8 is kept; invalid input falls back to ASCII,
// each byte of 0x80 or above becoming '?'.
std::string WINX_SanitizeUTF8(const char* text);

// Copies text into buf (size bytes including the NUL) without splitting a UTF-8 sequence.
// Nothing is written when buf is null or size < 1. Returns the number of bytes copied.
int WINX_CopyTextBounded(char* buf, int size, const char* text);
