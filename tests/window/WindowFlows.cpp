#include "WindowFlows.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "BankGenerator.h"

const char* const kMainTabNames[kMainTabCount] = {"multi", "librarian", "oscillators", "filters", "lfo", "effects"};

void showTab(WindowSession& w, int tab) {
  w.click(w.s(tabX(tab)), w.s(kTabY));
  w.settle();
}

bool sameRegion(const WindowImage& a, const WindowImage& b, int x, int y, int w, int h) {
  return a.crop(x, y, w, h).rgb == b.crop(x, y, w, h).rgb;
}

int displayTextPixels(const WindowImage& img, int x, int y, int w, int h) {
  int n = 0;
  const WindowImage c = img.crop(x, y, w, h);
  for (int yy = 0; yy < c.h; ++yy)
    for (int xx = 0; xx < c.w; ++xx) {
      const uint8_t* p = c.at(xx, yy);
      n += p[0] > 160 && p[1] > 160 && p[2] < 120;
    }
  return n;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string saveUpperBankAs(WindowSession& w, const std::string& name, const std::string& path, double seconds) {
  if (!w.menu(877, 196, {"Down", "Down", "Down", "Down", "Down", "Down", "Right", "Return"}) || !w.focusDialog(seconds))
    return std::string();
  w.type(name);
  w.key("Return");
  std::string saved, previous;
  for (int i = 0; i < seconds / 0.15 && (saved.empty() || saved != previous); ++i, usleep(150000)) {
    previous = saved;
    saved = fileText(path);
  }
  return saved;
}

std::vector<std::string> textLines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  for (std::string l; std::getline(ss, l);) out.push_back(l);
  return out;
}

std::string hexBytes(const std::vector<unsigned char>& m) {
  std::string s;
  char b[4];
  for (unsigned char c : m) {
    snprintf(b, sizeof b, "%02X ", c);
    s += b;
  }
  return s;
}

void writeTwoBanks(const std::string& patches) {
  testbanks::writeFile(patches + "/a-upper.syx",
                       testbanks::rawBank(testbanks::sounds(100, "Upper", {"Bass", "Pad "}), 30001));
  testbanks::writeFile(patches + "/b-lower.syx",
                       testbanks::rawBank(testbanks::sounds(100, "Lower", {"Lead", "Pad "}), 30001));
}
