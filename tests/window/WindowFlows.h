// Where things are in the editor's window (at the normal size; WindowSession::s scales) and the
// steps every flow shares.
#pragma once

#include <string>

#include "WindowSession.h"

constexpr int kMainTabCount = 6;
extern const char* const kMainTabNames[kMainTabCount];

// The main tab buttons: six in a row from (260, 14), 112 x 30 each.
inline int tabX(int tab) { return 260 + 112 * tab + 56; }
constexpr int kTabY = 29;

// Clicks the main tab and waits until the page is drawn.
void showTab(WindowSession& w, int tab);

// Points XDG_DATA_HOME at a fresh temporary folder for its life; removes it afterwards.
class TemporaryDataHome {
public:
  TemporaryDataHome();
  ~TemporaryDataHome();
  TemporaryDataHome(const TemporaryDataHome&) = delete;
  TemporaryDataHome& operator=(const TemporaryDataHome&) = delete;
  const std::string& path() const { return mPath; }

private:
  std::string mPath, mOld;
  bool mHadOld = false;
};
