// The exported entries of the plug-in library: the component entry, the Carbon view entry and
// the view factory named by the Cocoa UI property. The bundle build (cmake/Bundle.cmake) keeps
// these symbols and hides everything else.
#include "IPluginAU.h"

extern "C" {

// No exception may cross into the host's code: one that escapes the plug-in (a constructor that
// throws at open, a handler that throws) ends the call with the component's failure code. The
// plug-in lock and the construction lock have been released on the way out.
__attribute__((visibility("default"))) ComponentResult Sorvanta_Entry(ComponentParameters* params, void* storage) {
  try {
    return IPluginAU::IPluginAUEntry(params, storage);
  } catch (...) {
    return badComponentSelector;
  }
}

__attribute__((visibility("default"))) ComponentResult Sorvanta_ViewEntry(ComponentParameters* params, void* storage) {
  try {
    return IPluginAU::IPluginAUCarbonViewEntry(params, storage);
  } catch (...) {
    return badComponentSelector;
  }
}

// Takes the audio unit and the parent GTK container; answers the view's widget, or null while
// the plug-in has no view.
__attribute__((visibility("default"))) void* Sorvanta_View_64(AudioUnit unit, void* parent) {
  try {
    return IPluginAU::CreateView(unit, parent);
  } catch (...) {
    return nullptr;
  }
}

}  // extern "C"
