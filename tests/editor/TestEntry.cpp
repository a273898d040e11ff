// The component entry's factory for test programs that link the Audio Unit binding: the editor
// itself, under the editor's bundle identifier.
#include "IPluginAU.h"
#include "Sorvanta.h"

const char* PlugBundleIdentifier() { return "com.harrowgatesoundlabs.audiounit.SorvantaEditor.x64"; }

IPluginAU* NewPlugInstance(IPluginInstanceInfo info) { return new Sorvanta(info); }
