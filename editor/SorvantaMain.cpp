// The plug-in's entry into the Audio Unit binding: the bundle identifier by which the binding
// finds the bundle's resources, and the factory that the component's open call uses (under the
// binding's process-wide construction lock) to make the one editor object per instance.
#include "IPluginAU.h"
#include "Sorvanta.h"
#include "BankNameDialog.h"

const char* PlugBundleIdentifier() { return SORVANTA_BUNDLE_ID; }

IPluginAU* NewPlugInstance(IPluginInstanceInfo info) { return new Sorvanta(info); }

// The bank-name dialog registers itself with the windowing layer when its object file is part of
// the plug-in; this reference is what makes the static link keep it.
__attribute__((used)) static const WINX_DialogResourceIndex* const kLinkPatchSaveDialog = &kPatchSaveDialog;
