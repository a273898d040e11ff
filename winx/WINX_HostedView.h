// Hosting foreign views and OpenGL views in window views: what this platform can and cannot do.
//
// Toolkit mapping and refusals:
// * Audio Unit Cocoa views exist only on the Mac: WINX_GetAudioUnitCocoaView always answers null
//   (no bundle is opened).
// * Carbon windows: the host is a plain child window view (the documented minimum); it hosts
//   nothing, so its window reference is always null.
// * OpenGL: window views get no GL context here (a GtkGLArea would need its own paint road, and
//   Xvfb offers no GL); WINX_SetViewGL leaves the view without one and WINX_GetViewGL answers
//   false, so callers take their software drawing path.
// Main thread only.
#pragma once

#include "WINX_Window.h"

HWND WINX_GetAudioUnitCocoaView(HWND parent, void* audioUnit, void* viewInfo, RECT* r);
HWND WINX_CreateCarbonWindowView(HWND parent, void** windowRefOut, const RECT* r, bool composited);
void* WINX_GetWindowFromCarbonWindowView(HWND hwnd);
void WINX_AddCarbonPaneToView(HWND hwnd, void* pane);
void WINX_SetViewGL(HWND hwnd, bool on);
bool WINX_GetViewGL(HWND hwnd);
bool WINX_SetGLContextToView(HWND hwnd);
