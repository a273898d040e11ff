#include "AUCocoaView.h"

#include <dlfcn.h>

#include "CFBundle.h"
#include "CFInternal.h"

AUCocoaViewFactory AUCocoaViewFactoryFromInfo(const AudioUnitCocoaViewInfo& info, std::string* why) {
  std::string note;
  if (!why) why = &note;
  const std::string cls = CFStringUTF8(info.mCocoaAUViewClass[0]);
  if (cls.empty()) {
    *why = "the plug-in names no view factory";
    return nullptr;
  }
  CFBundleRef bundle = info.mCocoaAUViewBundleLocation ? CFBundleCreate(nullptr, info.mCocoaAUViewBundleLocation) : nullptr;
  if (!bundle) {
    *why = "the plug-in's view bundle cannot be opened";
    return nullptr;
  }
  CFURLRef exe = CFBundleCopyExecutableURL(bundle);
  char path[4096] = {};
  const bool havePath = exe && CFURLGetFileSystemRepresentation(exe, true, reinterpret_cast<UInt8*>(path), sizeof path);
  if (exe) CFRelease(exe);
  CFRelease(bundle);
  if (!havePath) {
    *why = "the plug-in's view bundle names no library";
    return nullptr;
  }
  // The library a host loaded already comes back as the same module; never unloaded, since the
  // factory's views outlive this call.
  void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!lib) {
    *why = std::string("the plug-in's view library cannot be loaded: ") + dlerror();
    return nullptr;
  }
  auto f = reinterpret_cast<AUCocoaViewFactory>(dlsym(lib, cls.c_str()));
  dlclose(lib);
  if (!f) *why = "the plug-in names a view factory \"" + cls + "\" that its library does not export";
  return f;
}
