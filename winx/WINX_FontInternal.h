// Pango side of the layer's fonts; shared by font creation, metrics and text drawing only.
#pragma once

#include <pango/pangocairo.h>

struct WINX_FontData {
  PangoFontDescription* desc;  // owned
  double ascent, descent, leading;  // pixels, from the font's metrics
  unsigned serial;  // unique for the process's life: names the font where its address may be reused
};

void WINX_FontDataFree(WINX_FontData* f);

// The default font: the system label font at 10 pixels, made once and kept for the process.
const WINX_FontData* WINX_DefaultFont();

// This thread's Pango context for antialiased or aliased rendering, made on first use and
// released when the thread ends. Metrics are not hinted, so both lay text out alike.
PangoContext* WINX_ThreadPangoContext(bool antialias);
// A layout of that context, reused by every call on this thread.
PangoLayout* WINX_ThreadPangoLayout(bool antialias);

// Forgets the texts this thread has laid out and rendered (WINX_DrawText keeps them).
void WINX_ThreadTextCacheClear();
