// PNG loading through libpng (Debian's 1.6). Every image the interface shows passes through here,
// and files are hostile until decoded: sizes are capped before allocation, every allocation is
// checked, a read past the end of a memory block is an error (never zero bytes made up), and any
// libpng error unwinds to one place that releases everything.
#include "GFX_PNG.h"

#include <png.h>
#include <strings.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "UTIL_File.h"

namespace {

struct MemSource {
  const unsigned char* p;
  size_t left;
};

// State of one decode, kept outside the function that calls setjmp so that nothing it needs
// after a longjmp lives in that function's registers.
struct Decode {
  png_structp png = nullptr;
  png_infop info = nullptr;
  GFX_IBitmap* target = nullptr;  // the caller's bitmap, or null
  GFX_IBitmap* made = nullptr;    // a bitmap we created (deleted on failure)
  png_bytep* rows = nullptr;
  char error[160] = "";  // why it failed, for the caller's refusal line
  bool failWith(const char* why) {
    snprintf(error, sizeof error, "%s", why);
    return false;
  }
};

// libpng may word a message in a buffer of the frame the jump leaves: it is copied first.
void pngError(png_structp png, png_const_charp message) {
  if (Decode* st = static_cast<Decode*>(png_get_error_ptr(png))) st->failWith(message ? message : "damaged");
  longjmp(png_jmpbuf(png), 1);
}
void pngWarning(png_structp, png_const_charp) {}

void staticPngReadFunc(png_structp png, png_bytep buf, png_size_t n) {
  MemSource* src = static_cast<MemSource*>(png_get_io_ptr(png));
  if (!src || n > src->left) {
    // Truncated block. Handing libpng zeros instead could decode garbage pixels as success.
    memset(buf, 0, n);
    png_error(png, "PNG block is truncated");
  }
  memcpy(buf, src->p, n);
  src->p += n;
  src->left -= n;
}

// Everything between the read struct's creation and the decoded rows. Returns true on success;
// any libpng error comes back here through longjmp and returns false.
bool decode(Decode* st) {
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_structp png = st->png;
  png_infop info = st->info;

  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, ctype = 0, interlace = 0, compression = 0, filter = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &ctype, &interlace, &compression, &filter);
  if (width < 1 || height < 1 || width > GFX_PNG_MAX_DIMENSION || height > GFX_PNG_MAX_DIMENSION ||
      static_cast<long long>(width) * height > GFX_PNG_MAX_PIXELS)
    return st->failWith("the image is larger than allowed");

  if (ctype == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (ctype == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(png);
    ctype |= PNG_COLOR_MASK_ALPHA;
  }
  if (depth == 16) png_set_strip_16(png);
  if (depth < 8) png_set_packing(png);
  if (ctype == PNG_COLOR_TYPE_GRAY || ctype == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (ctype & PNG_COLOR_MASK_ALPHA) png_set_swap_alpha(png);
  else png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  // Every combination above must end in four bytes per pixel; anything else would overrun rows.
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) return st->failWith("its pixel format is not supported");

  const int w = static_cast<int>(width), h = static_cast<int>(height);
  GFX_IBitmap* bm = st->target;
  if (bm) {
    bm->resize(w, h);
  } else {
    st->made = new (std::nothrow) GFX_MemBitmap(w, h, 4);
    bm = st->made;
  }
  if (!bm || bm->getWidth() != w || bm->getHeight() != h || !bm->getBits() || bm->getRowSpan() < w)
    return st->failWith("no memory for its pixels");

  st->rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * static_cast<size_t>(h)));
  if (!st->rows) return st->failWith("no memory for its pixels");
  const std::ptrdiff_t span = bm->getRowSpan();
  GFX_pixel* bits = bm->getBits();
  const bool flipped = bm->isFlipped();
  for (int i = 0; i < h; ++i)
    st->rows[i] = reinterpret_cast<png_bytep>(bits + span * (flipped ? h - 1 - i : i));
  png_read_image(png, st->rows);
  return true;
}

GFX_IBitmap* load(FILE* fp, MemSource* mem, GFX_IBitmap* bmp, std::string* why = nullptr) {
  Decode st;
  st.target = bmp;
  st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, pngError, pngWarning);
  if (st.png) st.info = png_create_info_struct(st.png);
  bool ok = false;
  if (st.png && st.info) {
    png_set_user_limits(st.png, GFX_PNG_MAX_DIMENSION, GFX_PNG_MAX_DIMENSION);
    if (fp) png_init_io(st.png, fp);
    else png_set_read_fn(st.png, mem, staticPngReadFunc);
    ok = decode(&st);
  }
  png_destroy_read_struct(st.png ? &st.png : nullptr, st.info ? &st.info : nullptr, nullptr);
  free(st.rows);
  if (!ok) {
    if (why) *why = std::string("cannot be decoded: ") + (st.error[0] ? st.error : "no memory for libpng");
    delete st.made;
    return nullptr;
  }
  return st.made ? st.made : bmp;
}

std::string& resourceFolder() {
  static std::string folder;
  return folder;
}

}  // namespace

GFX_IBitmap* GFX_LoadPNG(const char* path, GFX_IBitmap* bmp, std::string* why) {
  if (!path) return nullptr;
  UTIL_FileCheck check;
  FILE* fp = UTIL_FOpenForRead(path, &check);  // never a FIFO or device under an image's name
  if (!fp) {
    if (why) *why = check.why();
    return nullptr;
  }
  GFX_IBitmap* r = load(fp, nullptr, bmp, why);
  fclose(fp);
  return r;
}

GFX_IBitmap* GFX_LoadPNGFromMemory(const void* data, int length, GFX_IBitmap* bmp) {
  if (!data || length < 8 || png_sig_cmp(static_cast<png_const_bytep>(data), 0, 8) != 0) return nullptr;
  MemSource src = {static_cast<const unsigned char*>(data), static_cast<size_t>(length)};
  return load(nullptr, &src, bmp);
}

void GFX_SetResourceFolder(const char* path) { resourceFolder() = path ? path : ""; }

GFX_IBitmap* GFX_LoadPNGFromNamedResource(const char* name, GFX_IBitmap* bmp) {
  if (!name || strlen(name) > 400 || resourceFolder().empty()) return nullptr;
  std::string path = resourceFolder();
  path += '/';
  path += name;
  return GFX_LoadPNG(path.c_str(), bmp);
}

GFX_IBitmap* GFX_LoadPNGFromResource(void*, int, GFX_IBitmap*) { return nullptr; }

GFX_IBitmap* GFX_PNGLoader::loadfunc(const char* filename, bool checkFileName, GFX_IBitmap* bmp) {
  if (!filename) return nullptr;
  if (checkFileName) {
    const char* tail = filename;
    for (const char* p = filename; *p; ++p)
      if (*p == '.' || *p == '/' || *p == '\\') tail = p;
    if (strcasecmp(tail, ".png") != 0) return nullptr;
  }
  return GFX_LoadPNG(filename, bmp);
}

const char* GFX_PNGLoader::get_extlist() { return "PNG files (*.PNG)\0*.PNG\0"; }

GFX_ImageLoaderRec* GFX_ImageLoader_list = nullptr;

namespace {
GFX_ImageLoaderRec GFX_pngldr = {GFX_PNGLoader::loadfunc, GFX_PNGLoader::get_extlist, nullptr};
struct RegisterPng {
  RegisterPng() {
    GFX_pngldr.next = GFX_ImageLoader_list;
    GFX_ImageLoader_list = &GFX_pngldr;
  }
} registerPng;
}  // namespace
