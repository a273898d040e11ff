// Shared pieces of the loading-pipeline tests: a plug-in with the editor's 9289 parameters, a
// headless graphics object whose images are generated in memory and whose file loader reads a
// folder, and helpers to encipher documents the way the build does.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "GFX_Bitmap.h"
#include "IGraphics.h"
#include "IPluginBase.h"
#include "ParamNames.h"
#include "Tea.h"
#include "TestPlug.h"
#include "UIConfigKey.h"
#include "UIConfigManager.h"

// The foundation's recording test plug-in with the editor's 9289 parameters, all hidden from
// the host as in the editor.
class PipelinePlug : public TestPlug {
 public:
  PipelinePlug() : TestPlug(kNumParams, "2-2", 0, 0) {}
};

// Images are blank bitmaps of a size chosen per id (8 x 8 unless listed); files come from
// `folder` by their last path component.
class MemoryGraphics : public IGraphics {
 public:
  MemoryGraphics(IPluginBase* plug, int w = 1500, int h = 757) : IGraphics(plug, w, h, 0) {
    sizes[113] = {40, 40 * 128};  // IKNOBROTATERCONTROL_ID2: 128 frames stacked
    sizes[132] = {160, 40};       // BUTTON_TAB_TOPBAR_ID: 4 cells, off row above on row
    sizes[301] = {20, 40};        // BTN_SMALL_ID: 2 frames
    sizes[500] = {100, 40};       // MAIN_BG_ID (yellow)
    sizes[700] = {100, 40};       // MAIN_BG_ID (blue)
  }
  GFX_IBitmap* OSLoadBitmap(int id, const char*) override {
    ++bitmapLoads;
    auto it = sizes.find(id);
    const std::pair<int, int> wh = it == sizes.end() ? std::make_pair(8, 8) : it->second;
    return new GFX_MemBitmap(wh.first, wh.second, 4);
  }
  char* OSLoadFile(int, const char* name) override {
    const std::string n(name);
    const std::string path = folder + "/" + n.substr(n.find_last_of('/') + 1);
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    char* buf = new char[bytes.size() + 1];
    std::copy(bytes.begin(), bytes.end(), buf);
    buf[bytes.size()] = 0;
    mLastLoadedFileSize = static_cast<int>(bytes.size());
    return buf;
  }
  std::map<int, std::pair<int, int>> sizes;
  std::string folder;
  int bitmapLoads = 0;
};

// Enciphers plain text the way the build tool does: zero-padded to whole 8-byte blocks.
inline std::string encipher(const std::string& plain) {
  std::string out = plain;
  out.resize((plain.size() + 7) / 8 * 8, '\0');
  unsigned int key[4];
  UIConfigKey::words(key);
  for (std::size_t i = 0; i < out.size(); i += 8)
    Tea::simpleencrypt(reinterpret_cast<unsigned char*>(&out[i]), key);
  return out;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A plug-in, its graphics object and a manager, torn down in the editor's order: the manager
// (which deletes its records) before the parameters.
struct Pipeline {
  PipelinePlug plug;
  MemoryGraphics* graphics = new MemoryGraphics(&plug);
  std::unique_ptr<UIConfigManager> manager = std::make_unique<UIConfigManager>();
  std::vector<std::string> logLines;

  Pipeline() {
    plug.AttachGraphics(graphics);
    manager->setLog([this](const std::string& l) { logLines.push_back(l); });
    manager->setPortNamesProvider([](bool input) {
      return input ? std::vector<std::string>{"Select MIDI Device", "In A", "In B"}
                   : std::vector<std::string>{"Select MIDI Device", "Out A"};
    });
  }
  ~Pipeline() { manager.reset(); }

  // Builds a plain description on top of plain SysEx lists, without the resource files.
  void build(const std::string& sysex, const std::string& description, double scale = 1.0,
             int skin = 0) {
    manager->graphics = graphics;
    manager->plug = &plug;
    manager->scale = scale;
    manager->skin = skin;
    manager->readSysexText(sysex);
    manager->initImages(graphics);
    manager->initParams();
    manager->readDescriptionText(description);
  }

  IParam* param(int n) { return plug.GetParam(n); }
  ControlAction* record(int n) { return plug.GetParam(n)->GetControlAction(); }
  bool logged(const std::string& needle) const {
    for (const auto& l : logLines)
      if (l.find(needle) != std::string::npos) return true;
    return false;
  }
};

// A temporary folder for resource files, removed with the two it may hold.
struct TempFolder {
  std::string dir;
  TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/uipipeline-XXXXXX";
    if (!mkdtemp(&dir[0])) {
      std::perror("mkdtemp");
      std::abort();
    }
  }
  ~TempFolder() {
    std::remove((dir + "/uiconfig.tea").c_str());
    std::remove((dir + "/sysex.tea").c_str());
    ::rmdir(dir.c_str());
  }
};
