// Cached font: draws UTF-8 text into any GFX_IBitmap with a windowing-layer font (HFONT).
//
// Two ways to draw. The glyph path renders each character once through WINX_DrawText into a
// shared temporary system bitmap, keeps its coverage bytes in a cache and blends them into the
// target with the font's colours, opacity and combine mode (GFX_GlyphBlend.h). The native path
// hands the whole text to WINX_DrawText, straight into the target's device context or through a
// second shared temporary that is blitted back.
//
// Threads: the GUI framework's main thread only. The two shared temporaries are process-wide
// and tie every cached font to one thread at a time; only their reference count (the number of
// live cached fonts) is atomic, so a font may be created or destroyed elsewhere while none is
// drawing.
//
// Ownership: with flag 0x200 the font owns its HFONT and deletes it when it is replaced or the
// font is destroyed; otherwise the caller keeps it alive as long as the font uses it.
#pragma once

#include "GFX_Bitmap.h"
#include "UTIL_HeapBuf.h"
#include "WINX_Types.h"

class GFX_IFont {
public:
  virtual ~GFX_IFont() {}
  virtual void SetFromHFont(HFONT font, int flags) = 0;
  virtual GFX_pixel SetTextColor(GFX_pixel color) = 0;
  virtual GFX_pixel SetBkColor(GFX_pixel color) = 0;
  virtual GFX_pixel SetEffectColor(GFX_pixel color) = 0;
  virtual int SetBkMode(int mode) = 0;
  virtual void SetCombineMode(int mode, float alpha) = 0;
  virtual int DrawText(GFX_IBitmap* bm, const char* text, int count, RECT* rect, unsigned int flags) = 0;
  virtual GFX_pixel GetTextColor() = 0;
  virtual HFONT GetHFont() = 0;
  virtual int GetLineHeight() = 0;
};

// Font flags (second argument of SetFromHFont).
enum {
  GFX_FONT_VERTICAL = 0x1,        // glyphs turned a quarter clockwise, pen moves down
  GFX_FONT_BOTTOMUP = 0x2,        // with 0x1: turned counter-clockwise, pen moves up
  GFX_FONT_ASCIIONLY = 0x4,       // render the 128 low glyphs up front; never render others
  GFX_FONT_BLUR = 0x10,
  GFX_FONT_INVERT = 0x20,
  GFX_FONT_MONO = 0x40,           // coverage thresholded to 0/255
  GFX_FONT_SHADOW = 0x80,
  GFX_FONT_OUTLINE = 0x100,       // ignored with 0x80
  GFX_FONT_OWNHFONT = 0x200,
  GFX_FONT_NATIVE = 0x400,        // native rendering allowed
};
// DrawText flag of this class: the opacity is multiplied by the text colour's alpha / 255.
enum { GFX_DT_USE_TEXT_ALPHA = 0x40000000 };

class GFX_CachedFont : public GFX_IFont {
public:
  // Five 32-bit fields. dataPos: offset of the first coverage byte in the store plus one;
  // 0 = not rendered yet; -1 = cannot be rendered (width, height and advance then 0).
  struct Glyph {
    int dataPos;
    int width;
    int height;
    int advance;
    int code;
  };

  GFX_CachedFont();
  ~GFX_CachedFont() override;
  GFX_CachedFont(const GFX_CachedFont&) = delete;
  GFX_CachedFont& operator=(const GFX_CachedFont&) = delete;

  void SetFromHFont(HFONT font, int flags) override;
  GFX_pixel SetTextColor(GFX_pixel color) override;
  GFX_pixel SetBkColor(GFX_pixel color) override;
  GFX_pixel SetEffectColor(GFX_pixel color) override;
  int SetBkMode(int mode) override;
  void SetCombineMode(int mode, float alpha) override;
  // Returns the text's height (vertical text: its width), or 0. DT_CALCRECT sets rect's right
  // and bottom and draws nothing (the bitmap may then be null). count < 0: up to the NUL.
  int DrawText(GFX_IBitmap* bm, const char* text, int count, RECT* rect, unsigned int flags) override;
  GFX_pixel GetTextColor() override { return m_textColor; }
  HFONT GetHFont() override { return m_font; }
  int GetLineHeight() override { return m_lineHeight; }

  // Pixels added to the line height at every line feed of the glyph path.
  void SetLineSpacingAdjust(int pixels) { m_lineAdjust = pixels; }
  int GetFlags() const { return m_flags; }

  static int _charSortFunc(const void* a, const void* b);
  // The record of a character (always present below 128), or null. Valid until the next
  // RenderGlyph or SetFromHFont.
  Glyph* findChar(unsigned short c);
  // Whether rendering was attempted (false for line heights above 1023, and for a character
  // of 128 and up under GFX_FONT_ASCIIONLY).
  bool RenderGlyph(unsigned short c);
  // Blends a cached glyph with its top-left at (x, y), clipped to clip and the bitmap. True
  // when the glyph exists and its box meets the clip.
  bool DrawGlyph(GFX_IBitmap* bitmap, unsigned short character, int x, int y, RECT* clip);

  // Decodes one character to a 16-bit code and returns the bytes used (out may be null).
  static int utf8char(const char* text, unsigned short* out);
  // Coverage bytes of a rendered glyph (null when not rendered or failed), for tests.
  const unsigned char* glyphData(const Glyph* g) const;

private:
  int drawTextImpl(GFX_IBitmap* bm, const char* text, int count, RECT* rect, unsigned int flags);
  int drawNative(GFX_IBitmap* bm, const char* text, int count, RECT* rect, unsigned int flags);
  // Walks the text as the glyph path does; measures into *w, *h (no drawing).
  void measureGlyphs(const char* text, int count, unsigned int flags, int* w, int* h);
  // Finds the record of c, rendering it when needed; null when the character is to be skipped.
  Glyph* glyphFor(unsigned short c);

  GFX_pixel m_textColor = 0;
  GFX_pixel m_bkColor = 0xFFFFFFFF;
  GFX_pixel m_effectColor = 0xFFFFFFFF;
  int m_bkMode = 0;
  int m_combineMode = 0;
  float m_alpha = 1.0f;
  int m_flags = 0;
  int m_lineHeight = 0;
  int m_lineAdjust = 0;
  Glyph m_low[128];
  UTIL_TypedBuf<Glyph> m_ext{4096};
  UTIL_HeapBuf m_store{65536};
  HFONT m_font = nullptr;
};
