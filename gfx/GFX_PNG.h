// PNG decoding into library bitmaps (libpng). Pixels land straight (not premultiplied) as
// alpha, red, green, blue; images without alpha get 255.
//
// Every loader returns the bitmap holding the image, or null. With a caller's bitmap it is resized
// and returned; with none, a new GFX_MemBitmap (row alignment 4) is made and the caller owns it.
// On failure a bitmap the loader made is deleted and nothing partial is returned. A caller's
// bitmap may hold a partly decoded image after a failure; its contents are then undefined.
// Self-contained per call (own libpng state, no globals written), so calls on different threads
// are fine as long as they do not share a target bitmap.
#pragma once

#include <string>

#include "GFX_Bitmap.h"

// Images larger than this in either direction, or with more pixels than GFX_PNG_MAX_PIXELS
// (128 MB of pixels), are refused before anything is allocated. The interface's largest images
// are the background (about 1.7 M pixels at size 1.15) and tall knob film strips, far below both.
enum { GFX_PNG_MAX_DIMENSION = 65535 };
#define GFX_PNG_MAX_PIXELS (32LL * 1024 * 1024)

// A failed load words its reason in *why when given ("cannot be read: Permission denied", "cannot
// be decoded: Not a PNG file").
GFX_IBitmap* GFX_LoadPNG(const char* path, GFX_IBitmap* bmp = nullptr, std::string* why = nullptr);
GFX_IBitmap* GFX_LoadPNGFromMemory(const void* data, int length, GFX_IBitmap* bmp = nullptr);
// Looks the name up in the process's resources folder (see GFX_SetResourceFolder).
GFX_IBitmap* GFX_LoadPNGFromNamedResource(const char* name, GFX_IBitmap* bmp = nullptr);
// There are no numbered resources on this platform: always null.
GFX_IBitmap* GFX_LoadPNGFromResource(void* hInst, int resid, GFX_IBitmap* bmp = nullptr);

// Resources folder of the process (our stand-in for the bundle's Contents/Resources). Set once
// at start-up on the main thread before any named-resource load; empty means none.
void GFX_SetResourceFolder(const char* path);

// The library's list of image loaders: each record offers a load function under a file-type
// filter. The PNG record is pushed at program start.
struct GFX_ImageLoaderRec {
  GFX_IBitmap* (*loadfunc)(const char* filename, bool checkFileName, GFX_IBitmap* bmp);
  const char* (*get_extlist)();
  GFX_ImageLoaderRec* next;
};
extern GFX_ImageLoaderRec* GFX_ImageLoader_list;

namespace GFX_PNGLoader {
// With checkFileName, loads only names whose tail after the last '.', '/' or '\' is ".png"
// (any case); others return null without touching the file system.
GFX_IBitmap* loadfunc(const char* filename, bool checkFileName, GFX_IBitmap* bmp);
// "PNG files (*.PNG)\0*.PNG\0\0"
const char* get_extlist();
}  // namespace GFX_PNGLoader
