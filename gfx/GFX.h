// The graphics library's bitmaps, blits, fills and PNG loading in one include.
#pragma once

#include "GFX_Bitmap.h"
#include "GFX_Blit.h"
#include "GFX_Combine.h"
#include "GFX_Fill.h"
#include "GFX_PNG.h"
#include "GFX_Types.h"
