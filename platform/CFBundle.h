// Bundles and file URLs of our Core Foundation.
//
// A bundle is a folder laid out as
//   <Name>.component/Contents/Info.plist         identifier, executable name, component list
//   <Name>.component/Contents/Linux/<executable>  the plug-in's shared library
//   <Name>.component/Contents/Resources/          images and other resources
// (cmake/Bundle.cmake builds it). CFBundleGetBundleWithIdentifier finds a bundle from the
// location of the loaded code: first the module that holds this code (the plug-in library asks
// for its own bundle), then every other loaded module and the main executable. Bundles found by
// identifier are cached for the life of the process and must not be released.
#pragma once

#include <string>

#include "CFBase.h"
#include "CFCollections.h"

struct __CFURL;
typedef const struct __CFURL* CFURLRef;
struct __CFBundle;
typedef struct __CFBundle* CFBundleRef;

typedef CFIndex CFURLPathStyle;
enum : CFIndex { kCFURLPOSIXPathStyle = 0 };

CFTypeID CFURLGetTypeID();
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef filePath, CFURLPathStyle style, Boolean isDirectory);
CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style);
// Copies the path and a terminator; false when it does not fit.
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer, CFIndex maxBufLen);

CFTypeID CFBundleGetTypeID();
// A new bundle for the folder at url; null when the folder has no readable Contents/Info.plist.
CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);
// Borrowed (do not release); null when no loaded code lies in a bundle with that identifier.
CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID);
// The bundle of the running executable; a bundle without identifier when the executable does
// not lie in one. Borrowed.
CFBundleRef CFBundleGetMainBundle();
// Borrowed; null when the bundle has none.
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);
CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);
CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);
CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
// The resource <name>.<type> in Contents/Resources (or its subfolder subDir), else the first
// match in any folder below Contents/Resources; null when there is none.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType, CFStringRef subDirName);

// The bundle folder that contains `path` (a file or folder inside it), or "" when none does.
std::string CFBundleFolderContaining(const std::string& path);
