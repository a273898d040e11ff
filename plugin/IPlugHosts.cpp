#include "IPlugHosts.h"

#include <cstdio>
#include <string>

#include "IPlugLog.h"

namespace {

struct HostEntry {
  const char* substring;
  int id;
};

// Searched in this order; the first substring found wins (so "cubase elements" is Cubase and
// "live 10" is Live).
const HostEntry kHosts[] = {
    {"cubase", kHostCubase},          {"reaper", kHostReaper},
    {"nuendo", kHostNuendo},          {"cakewalk", kHostSonar},
    {"samplitude", kHostSamplitude},  {"fruity", kHostFL},
    {"live", kHostAbletonLive},       {"melodyne", kHostMelodyneStudio},
    {"vstmanlib", kHostVSTScanner},   {"aulab", kHostAULab},
    {"garageband", kHostGarageBand},  {"forte", kHostForte},
    {"chainer", kHostChainer},        {"audition", kHostAudition},
    {"orion", kHostOrion},            {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},            {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},  {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVST3TestHost}, {"protools", kHostProTools},
    {"ardour", kHostArdour},          {"standalone", kHostStandalone},
};

}  // namespace

int LookUpHost(const char* name) {
  if (!name) return kHostUnknown;
  std::string lower = ToLower(name);
  for (const HostEntry& h : kHosts)
    if (lower.find(h.substring) != std::string::npos) return h.id;
  return kHostUnknown;
}

void GetHostNameStr(int host, char* str) {
  if (!str) return;
  const char* name;
  switch (host) {
    case kHostReaper: name = "Reaper"; break;
    case kHostProTools: name = "ProTools"; break;
    case kHostCubase: name = "Cubase"; break;
    case kHostNuendo: name = "Nuendo"; break;
    case kHostSonar: name = "Sonar"; break;
    case kHostVegas: name = "Vegas"; break;
    case kHostFL: name = "FLStudio"; break;
    case kHostSamplitude: name = "Samplitude"; break;
    case kHostAbletonLive: name = "Live"; break;
    case kHostVSTScanner: name = "VSTScanner"; break;
    case kHostAULab: name = "AULab"; break;
    case kHostForte: name = "Forte"; break;
    case kHostChainer: name = "Chainer"; break;
    case kHostAudition: name = "Audition"; break;
    case kHostOrion: name = "Orion"; break;
    case kHostSAWStudio: name = "SAWStudio"; break;
    case kHostLogic: name = "Logic"; break;
    case kHostGarageBand: name = "GarageBand"; break;
    case kHostDigitalPerformer: name = "DigitalPerformer"; break;
    case kHostStandalone: name = "Standalone"; break;
    case kHostAudioMulch: name = "AudioMulch"; break;
    case kHostStudioOne: name = "StudioOne"; break;
    case kHostVST3TestHost: name = "VST3PluginTestHost"; break;
    case kHostArdour: name = "Ardour"; break;
    default: name = "Unknown"; break;
  }
  snprintf(str, 32, "%s", name);
}
