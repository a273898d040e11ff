// Fuzz target: state files as the host reads them (XML property lists, hostile) handed to the
// plug-in's state restore, as the host's --restore does. Each input is tried three ways so that
// random bytes reach past the XML parser: as the file itself; as the "data" chunk of an
// otherwise valid state of this component; and as the "name" text of one.
#include <cstddef>
#include <cstdint>
#include <string>

#include "AUComponent.h"
#include "CFPropertyList.h"
#include "CFString.h"
#include "TestPlugin.h"

extern "C" ComponentResult Sorvanta_Entry(ComponentParameters* params, void* storage);

namespace {

AudioUnit unit() {
  static AudioUnit u = [] {
    ComponentDescription desc{kAudioUnitType_MusicDevice, FourCC("t9vT"), FourCC("HsL1"), 0, 0};
    AudioUnit made = nullptr;
    OpenComponentInstance(&Sorvanta_Entry, &desc, &made);
    return made;
  }();
  return u;
}

void restoreXML(const std::string& xml) {
  CFDataRef d = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(xml.data()), static_cast<CFIndex>(xml.size()));
  CFPropertyListRef list = CFPropertyListCreateWithData(nullptr, d, 0, nullptr, nullptr);
  CFRelease(d);
  if (!list) return;
  AudioUnitSetProperty(unit(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &list, sizeof list);
  CFRelease(list);
  // Whatever was accepted must write back out.
  CFPropertyListRef saved = nullptr;
  UInt32 sz = sizeof saved;
  if (AudioUnitGetProperty(unit(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &saved, &sz) == noErr && saved) {
    CFDataRef xmlOut = CFPropertyListCreateData(nullptr, saved, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    if (xmlOut) CFRelease(xmlOut);
    CFRelease(saved);
  }
}

std::string stateXML(const std::string& data64, const std::string& name) {
  return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
         "<key>data</key><data>" + data64 + "</data>"
         "<key>manufacturer</key><integer>1215515697</integer>"
         "<key>name</key><string>" + name + "</string>"
         "<key>subtype</key><integer>1949922900</integer>"
         "<key>type</key><integer>1635085685</integer>"
         "<key>version</key><integer>65542</integer></dict></plist>";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string raw(reinterpret_cast<const char*>(data), size);
  restoreXML(raw);
  restoreXML(stateXML(CFBase64Encode(data, size), ""));
  std::string name;
  for (char c : raw) name += (c == '<' || c == '&') ? '_' : c;
  restoreXML(stateXML("", name));
  return 0;
}
