// Small services of the plug-in class: display texts, data folder, lookups into the interface,
// the diagnostics log, the settings rewrite and the librarian's host interface.
#include <cstdio>

#include "ControlLayer.h"
#include "DataFolder.h"
#include "EditorLog.h"
#include "EditorSettings.h"
#include "IControls.h"
#include "IGraphics.h"
#include "IParam.h"
#include "Sorvanta.h"
#include "UIConfigManager.h"
#include "UTIL_File.h"

void Sorvanta::log(const std::string& text) const {
  if (!debugLogOn) return;
  if (DeferredLogLines::RenderScope::active()) {
    renderLogLines.tryPush(text);
    return;
  }
  renderLogLines.drainTo(logFilePath);
  DebuggerOutput::printDebugInfo(logFilePath, text);
}

void Sorvanta::setStatusText(const std::string& text) {
  if (statusLine) statusLine->SetTextFromPlug(text.c_str());
  if (statusShowsValue.exchange(false) && valueLine) valueLine->SetTextFromPlug("");
}

void Sorvanta::showNameAndValue(const char* name, const char* value) {
  if (statusLine) statusLine->SetTextFromPlug(name);
  if (valueLine) valueLine->SetTextFromPlug(value);
  statusShowsValue = true;
}

void Sorvanta::displayText(const std::string& name, const std::string& value, const std::string& cc) {
  showNameAndValue(name.c_str(), value.c_str());
  if (ccLine) ccLine->SetTextFromPlug(cc.c_str());
}

void Sorvanta::displayPatchName(std::string name) {
  if (patchLine) patchLine->SetTextFromPlug(name.c_str());
}

void Sorvanta::displayCategoryName(std::string name) {
  if (categoryLine) categoryLine->SetTextFromPlug(name.c_str());
}

std::string Sorvanta::nameText(int paramIdx) const {
  IParam* param = GetParam(paramIdx);
  if (!param) return std::string();
  std::lock_guard<std::mutex> guard(ParamTextLock());
  return param->GetDisplayText(0);
}

void Sorvanta::setNameText(int paramIdx, const std::string& text) {
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  {
    std::lock_guard<std::mutex> guard(ParamTextLock());
    param->SetDisplayText(0, text.c_str());
  }
  // A name that a dump brought shows at the window's next frame, not when something else happens
  // to redraw its field.
  if (const ControlAction* bound = param->GetControlAction())
    for (IControl* c : bound->controls) c->SetDirty(false);
}

void Sorvanta::SetParamTextFromGUI(int paramIdx, const char* text) { setNameText(paramIdx, text ? text : ""); }

void Sorvanta::displayBuild(const std::string& text) {
  if (buildLine) buildLine->SetTextFromPlug(text.c_str());
}

const char* Sorvanta::getPanelString(int part, const std::string& text) {
  panelString = "Part " + std::to_string(part + 1) + " " + text;
  return panelString.c_str();
}

IControl* Sorvanta::getCCControls(int channel, int ccNumber, int partless) const {
  return uiConfig ? uiConfig->getCCControls(channel, ccNumber, partless) : nullptr;
}

IControl* Sorvanta::getSysexControl(int k1, int k2, int k3, int k4, int k5) const {
  return uiConfig ? uiConfig->getSysexControl(k1, k2, k3, k4, k5) : nullptr;
}

IControl* Sorvanta::getMsbLsbControl(int k1, int k2, int k3, int k4, int k5) const {
  return uiConfig ? uiConfig->getMsbLsbControl(k1, k2, k3, k4, k5) : nullptr;
}

std::string Sorvanta::getDataFolder() const { return dataFolderPath(); }

std::string Sorvanta::getPatchesFolderStr() const { return patchesFolderPath(); }

void Sorvanta::OpenDataDirectory() {
  if (IGraphics* g = GetGUI()) g->OpenURL(getDataFolder().c_str(), nullptr, nullptr, nullptr);
}

ControlLayer* Sorvanta::getLayer(const std::string& name) const { return uiConfig ? uiConfig->findLayer(name) : nullptr; }

namespace {

// First control bound to paramIdx in a layer tree, hidden or not.
IControl* findInLayer(ControlLayer* layer, int paramIdx) {
  if (!layer) return nullptr;
  for (int i = 0; i < layer->controls.GetSize(); ++i)
    if (IControl* c = layer->controls.Get(i))
      if (c->ParamIdx() == paramIdx) return c;
  for (int i = 0; i < layer->layers.GetSize(); ++i)
    if (IControl* c = findInLayer(layer->layers.Get(i), paramIdx)) return c;
  return nullptr;
}

}  // namespace

IControl* Sorvanta::mainControl(int paramIdx) const {
  IParam* p = GetParam(paramIdx);
  if (!p) return nullptr;
  ControlAction* a = p->GetControlAction();
  if (a && !a->controls.empty()) return a->controls.front();
  // Controls without a MIDI binding have no record: take the first one showing the parameter.
  IGraphics* g = GetGUI();
  if (!g) return nullptr;
  for (int i = 0; i < g->NControls(); ++i)
    if (IControl* c = g->GetControl(i))
      if (c->ParamIdx() == paramIdx) return c;
  for (int i = 0; i < g->NLayers(); ++i)
    if (IControl* c = findInLayer(g->GetLayer(i), paramIdx)) return c;
  return nullptr;
}

double Sorvanta::paramValue(int paramIdx) const {
  IParam* p = GetParam(paramIdx);
  return p ? p->Value() : 0.0;
}

void Sorvanta::setParamFromPlug(int paramIdx, double value) {
  IParam* p = GetParam(paramIdx);
  if (!p) return;
  if (IGraphics* g = GetGUI())
    g->SetParameterFromPlug(paramIdx, value, false);
  else
    p->SetClamped(value);
}

bool Sorvanta::settingsFileAvailable() {
  if (EditorSettings::exists(settingsFilePath)) return true;
  setStatusText(std::string(SorvantaIdentity::kEffectName) + " UI.txt MISSING!");
  if (valueLine) valueLine->SetTextFromPlug("Contact support");
  return false;
}

bool Sorvanta::writeSettingsFile() {
  if (!settingsFileAvailable()) return false;
  std::string why;
  if (!EditorSettings::rewrite(settingsFilePath, settingsLines, &why)) {
    const std::string line = "DEFAULT SETTINGS: could not rewrite " + settingsFilePath + ": " + why;
    log(line);
    fprintf(stderr, "%s\n", line.c_str());
    showStatusAndReason(std::string(SorvantaIdentity::kEffectName) + " UI.txt NOT saved!", UTIL_ShortReason(why));
    return false;
  }
  if (!why.empty()) log("DEFAULT SETTINGS: " + settingsFilePath + ": " + why);
  return true;
}

void Sorvanta::setUpperBankRecord(bool multi, const std::string& fileName, const std::string& folderName) {
  upperBankFile[multi ? 1 : 0] = fileName;
  upperBankFolder[multi ? 1 : 0] = folderName;
}

void Sorvanta::showStatusAndReason(const std::string& text, const std::string& reason, const std::string& name) {
  if (!statusLine) {
    pendingStatus = {text, reason};
    pendingStatusName = name;
    return;
  }
  setStatusText(text);
  if (!reason.empty() && valueLine) valueLine->SetTextFromPlug(reason.c_str(), name);
}
