// Finding a plug-in's view factory from its Cocoa UI property (kAudioUnitProperty_CocoaUI), for
// every host of plug-in views: the host program's window and the windowing layer's hosted views.
//
// On this platform the property names the plug-in's bundle and, as the view class, an exported
// C function of the bundle's library: it takes the audio unit and a parent GTK container, puts
// the view's widget into that container and answers the widget (null while the plug-in has no
// view). The library stays loaded for the rest of the process once a factory was found in it:
// views made by it may live as long as their windows.
#pragma once

#include <string>

#include "AUTypes.h"

typedef void* (*AUCocoaViewFactory)(AudioUnit unit, void* parentContainer);

// The factory that info names, or null with *why saying what is missing (no class name, no
// bundle at the location, a library that cannot be loaded or does not export the name). The
// info stays the caller's. A class name that is null is refused before the bundle is opened.
AUCocoaViewFactory AUCocoaViewFactoryFromInfo(const AudioUnitCocoaViewInfo& info, std::string* why);
