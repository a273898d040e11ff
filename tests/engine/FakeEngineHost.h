// A stand-in for the plug-in as the device MIDI engine sees it: parameters in a table, controls
// as keys, and every message that would leave for the synthesizer recorded. Thread-safe: jobs
// call it from the workers while the test thread reads it.
#pragma once

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "MIDIMessageManager.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"

class FakeEngineHost : public MidiEngineHost {
 public:
  FakeEngineHost() : state(flags) {
    for (int i = 0; i < kNumParams; ++i) ranges[i] = {-1000.0, 1000.0};
  }

  // ---- parameters ----
  double value(int param) const override {
    std::lock_guard<std::mutex> g(m);
    auto it = values.find(param);
    return it == values.end() ? 0.0 : it->second;
  }
  void setFromDevice(int param, double v) override {
    std::lock_guard<std::mutex> g(m);
    values[param] = v;
    ++fromDeviceCount;
  }
  std::string text(int param) const override {
    std::lock_guard<std::mutex> g(m);
    auto it = texts.find(param);
    return it == texts.end() ? std::string() : it->second;
  }
  void setText(int param, const std::string& t) override {
    std::lock_guard<std::mutex> g(m);
    texts[param] = t;
  }
  void setParamSilently(int param, double v) override {
    std::lock_guard<std::mutex> g(m);
    auto r = ranges.at(param);
    values[param] = v < r.first ? r.first : (v > r.second ? r.second : v);
  }
  bool paramRange(int param, double* lo, double* hi) const override {
    std::lock_guard<std::mutex> g(m);
    auto it = ranges.find(param);
    if (it == ranges.end()) return false;
    *lo = it->second.first;
    *hi = it->second.second;
    return true;
  }
  void set(int param, double v) {
    std::lock_guard<std::mutex> g(m);
    values[param] = v;
  }
  void setRange(int param, double lo, double hi) {
    std::lock_guard<std::mutex> g(m);
    ranges[param] = {lo, hi};
  }

  // ---- controls: a control is the address of an entry of `controlParams` ----
  IControl* bindSysex(int k1, int k2, int k3, int k4, int k5, int param) {
    IControl* c = makeControl(param);
    sysexControls[{k1, k2, k3, k4, k5}] = c;
    return c;
  }
  IControl* bindPartless(int cmd, int hi, int lo, int param) {
    IControl* c = makeControl(param);
    partlessControls[{cmd, hi, lo}] = c;
    return c;
  }
  IControl* bindCC(int channel, int cc, int param) {
    IControl* c = makeControl(param);
    ccControls[{channel, cc}] = c;
    return c;
  }
  IControl* findSysexControl(int k1, int k2, int k3, int k4, int k5) override {
    std::lock_guard<std::mutex> g(m);
    lookups.push_back({k1, k2, k3, k4, k5});
    auto it = sysexControls.find({k1, k2, k3, k4, k5});
    return it == sysexControls.end() ? nullptr : it->second;
  }
  IControl* findPartlessSysexControl(int dev, int cmd, int hi, int lo, int k5) override {
    std::lock_guard<std::mutex> g(m);
    partlessDeviceIds.push_back(dev);
    if (k5 != 0) return nullptr;
    auto it = partlessControls.find({cmd, hi, lo});
    return it == partlessControls.end() ? nullptr : it->second;
  }
  IControl* findCCControl(int channel, int cc, int) override {
    std::lock_guard<std::mutex> g(m);
    auto it = ccControls.find({channel, cc});
    return it == ccControls.end() ? nullptr : it->second;
  }
  int controlParam(IControl* c) override {
    std::lock_guard<std::mutex> g(m);
    return controlParamOf.at(c);
  }
  void setControlFromHardware(IControl* c, double normalized) override {
    std::lock_guard<std::mutex> g(m);
    hardwareSets.push_back({controlParamOf.at(c), normalized});
  }

  void onParamChange(int param) override {
    std::lock_guard<std::mutex> g(m);
    changes.push_back(param);
  }
  void onParamChange2(int param) override {
    std::lock_guard<std::mutex> g(m);
    changes2.push_back(param);
  }

  // ---- output ----
  void sendMidiMsg(const IMidiMsg& msg) override {
    record({msg.mStatus, msg.mData1, msg.mData2});
  }
  void sendSysex(const uint8_t* bytes, int size) override {
    std::vector<uint8_t> v(bytes, bytes + size);
    if (v.empty() || v[0] != 0xF0) {
      v.insert(v.begin(), 0xF0);
      v.push_back(0xF7);
    }
    record(v);
    if (device) device(v);
  }
  void sendRaw(const std::vector<uint8_t>& bytes) override { record(bytes); }
  bool portsCarry() override { return carry.load(); }
  std::atomic<bool> carry{true};
  unsigned midiLateCycles() override { return lateCycles.load(); }
  std::atomic<unsigned> lateCycles{0};
  void queueMidiMsg(const IMidiMsg& msg) override {
    std::lock_guard<std::mutex> g(m);
    queued.push_back(msg);
  }

  // ---- user interface ----
  void setStatusText(const std::string& t) override {
    std::lock_guard<std::mutex> g(m);
    statuses.push_back(t);
  }
  void setValueText(const std::string& t) override {
    std::lock_guard<std::mutex> g(m);
    valueTexts.push_back(t);
  }
  void showProgress(bool show) override { overlays += show; }
  void showLayer(const std::string& name, bool show) override {
    std::lock_guard<std::mutex> g(m);
    layers.push_back(name + (show ? "+" : "-"));
  }
  void showLibrarianUnsaved() override {}
  void librarianViewDirty() override {}
  void updateLibrarianView(int) override {}
  void setPatchManagerName(int index, const std::string& name) override {
    std::lock_guard<std::mutex> g(m);
    names[index] = name;
  }
  void displayPatchName(const std::string&) override {}
  void displayCategoryName(const std::string&) override {}
  PatchLibrarian* librarian() override { return lib; }
  bool librarianShowsCategory() override { return showsCategory.load(); }
  bool librarianShowsSearch() override { return showsSearch.load(); }
  const std::vector<std::string>* tempoValues() override { return &tempoList; }
  double hostTempoNow() override { return hostTempo; }
  int currentPart() override { return current.load(); }
  void setCurrentPart(int part) override { current = part; }
  bool multiMode() override { return multi.load(); }
  bool hardwareChangeActive() override { return false; }

  // ---- what the test reads ----
  std::vector<std::vector<uint8_t>> sent() const {
    std::lock_guard<std::mutex> g(m);
    return out;
  }
  std::vector<std::string> statusTexts() const {
    std::lock_guard<std::mutex> g(m);
    return statuses;
  }
  std::string lastStatus() const {
    std::lock_guard<std::mutex> g(m);
    return statuses.empty() ? std::string() : statuses.back();
  }
  void clearSent() {
    std::lock_guard<std::mutex> g(m);
    out.clear();
  }

  PlugMidiFlags flags;
  PlugMidiState state;
  PatchLibrarian* lib = nullptr;
  std::atomic<bool> showsCategory{false}, showsSearch{false};
  std::vector<std::string> tempoList;
  double hostTempo = 120.0;
  std::atomic<int> current{0};
  std::atomic<bool> multi{false};
  // Called (on the sending thread) with every SysEx that leaves, framed: the synthesizer.
  std::function<void(const std::vector<uint8_t>&)> device;

  mutable std::mutex m;
  std::map<int, double> values;
  std::map<int, std::pair<double, double>> ranges;
  std::map<int, std::string> texts;
  std::map<int, std::string> names;
  std::vector<std::array<int, 5>> lookups;
  std::vector<int> partlessDeviceIds;
  std::vector<std::pair<int, double>> hardwareSets;
  std::vector<int> changes, changes2;
  std::vector<IMidiMsg> queued;
  std::vector<std::string> statuses, valueTexts, layers;
  std::atomic<int> overlays{0};  // times the progress overlay was shown
  int fromDeviceCount = 0;

 private:
  IControl* makeControl(int param) {
    std::lock_guard<std::mutex> g(m);
    controlSlots.push_back(0);
    // Never dereferenced: the engine hands controls back to the host only.
    IControl* c = reinterpret_cast<IControl*>(&controlSlots.back());
    controlParamOf[c] = param;
    return c;
  }
  void record(const std::vector<uint8_t>& v) {
    std::lock_guard<std::mutex> g(m);
    out.push_back(v);
  }

  std::vector<std::vector<uint8_t>> out;
  std::map<std::array<int, 5>, IControl*> sysexControls;
  std::map<std::array<int, 3>, IControl*> partlessControls;
  std::map<std::pair<int, int>, IControl*> ccControls;
  std::map<IControl*, int> controlParamOf;
  std::deque<int> controlSlots;
};
