#include "WindowFlows.h"

#include <cstdlib>
#include <filesystem>

const char* const kMainTabNames[kMainTabCount] = {"multi", "librarian", "oscillators", "filters", "lfo", "effects"};

void showTab(WindowSession& w, int tab) {
  w.click(w.s(tabX(tab)), w.s(kTabY));
  w.settle();
}

TemporaryDataHome::TemporaryDataHome() {
  char tmpl[] = "/tmp/sorvanta-window-home-XXXXXX";
  if (mkdtemp(tmpl)) mPath = tmpl;
  if (const char* old = getenv("XDG_DATA_HOME")) {
    mOld = old;
    mHadOld = true;
  }
  setenv("XDG_DATA_HOME", mPath.c_str(), 1);
}

TemporaryDataHome::~TemporaryDataHome() {
  if (mHadOld)
    setenv("XDG_DATA_HOME", mOld.c_str(), 1);
  else
    unsetenv("XDG_DATA_HOME");
  std::error_code ec;
  if (!mPath.empty()) std::filesystem::remove_all(mPath, ec);
}
