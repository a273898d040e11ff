// Where things are in the editor's window (at the normal size; WindowSession::s scales) and the
// steps and checks the flows share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "WindowSession.h"

constexpr int kMainTabCount = 6;
extern const char* const kMainTabNames[kMainTabCount];

// The main tab buttons: six in a row from (260, 14), 112 x 30 each.
inline int tabX(int tab) { return 260 + 112 * tab + 56; }
constexpr int kTabY = 29;

// The host's tempo field and its buttons, right of its Play button, in the host's bar.
constexpr int kTempoFieldX = 70, kTempoFieldW = 200;
constexpr int kStatusX = 980, kStatusY = 8, kStatusW = 310, kStatusH = 40;  // name and value lines
constexpr int kOsc1DetuneX = 440, kOsc1OctaveX = 296, kOsc1KnobY = 168;
constexpr int kOutFieldX = 200, kInFieldX = 520, kFieldRowY = 747;
constexpr int kFirstRunExitX = 1022, kFirstRunExitY = 202;  // the first-run notice's close button
constexpr int kRenameBoxX = 560, kRenameBoxY = 300, kRenameBoxW = 300, kRenameBoxH = 60;
constexpr int kBankBoxX = 1160, kProgramBoxX = 1206, kNumberBoxY = 72;
constexpr int kUpperListX = 600, kUpperListY = 197, kLowerListY = 470;
constexpr int kGridX = 394, kUpperGridY = 211, kLowerGridY = 484;
constexpr int kLibraryNamesX = 119, kLibraryNamesY = 301;  // the librarian's "Library names" box
constexpr int kCancelX = 875, kCancelY = 468;  // CANCEL on the transfer overlay of the editor's pages

// Centre of a librarian slot (column by column, 16 rows of 14, columns 133 apart).
inline int slotX(int s) { return kGridX + (s / 16) * 133 + 52; }
inline int slotY(bool lower, int s) { return (lower ? kLowerGridY : kUpperGridY) + (s % 16) * 14 + 7; }

// Clicks the main tab and waits until the page is drawn.
void showTab(WindowSession& w, int tab);

bool sameRegion(const WindowImage& a, const WindowImage& b, int x, int y, int w, int h);
// Pixels of a region in the display's yellow lettering.
int displayTextPixels(const WindowImage& img, int x, int y, int w, int h);

std::string fileText(const std::string& path);
// "Save As..." -> "Standard MIDI (*.mid)" of the bank-edit menu, `name` typed into the panel (it
// opens in the library folder); the bytes of `path` once it is there and has stopped growing,
// empty when the menu, the panel or the file never came.
std::string saveUpperBankAs(WindowSession& w, const std::string& name, const std::string& path, double seconds = 12.0);
std::vector<std::string> textLines(const std::string& text);
std::string hexBytes(const std::vector<unsigned char>& m);

// Two sound banks of 100 entries written into the library folder: "a-upper.syx" ("Upper NNN")
// and "b-lower.syx" ("Lower NNN").
void writeTwoBanks(const std::string& patches);
