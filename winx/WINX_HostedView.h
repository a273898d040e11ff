// Hosting a plug-in's view in a window view, the Carbon host view, and OpenGL window views.
//
// Toolkit mapping:
// * Audio Unit views: the Cocoa UI property's info names the plug-in's bundle and its view
//   factory (AUCocoaView.h); the factory puts its widget into the parent view's container and
//   WINX_GetAudioUnitCocoaView wraps that widget in a child window record (class tag
//   WINX_CLASS_HOSTEDVIEW) at the parent's top-left corner, sized to what the view asks for.
// * Carbon windows: the host is a plain child window view; it hosts nothing, so its window
//   reference is always null.
// * OpenGL: a window view's context is an off-screen EGL context of its own (the display's
//   OpenGL; Mesa's software renderer where there is no GPU), made when WINX_SetViewGL turns it
//   on. Each paint pass makes it current with a framebuffer of the view's size bound, runs
//   WM_PAINT, reads the framebuffer back as the view's content and clears the current context.
//   Views without a display, or where no context can be made, stay without one (WINX_GetViewGL
//   false), so callers take their software drawing path.
// Main thread only.
#pragma once

#include "AUTypes.h"
#include "WINX_Window.h"

enum { WINX_CLASS_HOSTEDVIEW = WINX_CLASS_CONTROL_BASE + 30 };

// The view the info's factory makes for unit, inside parent (a window view). r in: the size
// asked for, used when the view asks for none; out: (0, 0, width, height) of the view. Null
// (r untouched) when the info names no factory, the factory cannot be found, there is no
// display, or the factory gives no view. The parent owns the returned record.
HWND WINX_GetAudioUnitCocoaView(HWND parent, AudioUnit unit, const AudioUnitCocoaViewInfo* info, RECT* r);
HWND WINX_CreateCarbonWindowView(HWND parent, void** windowRefOut, const RECT* r, bool composited);
void* WINX_GetWindowFromCarbonWindowView(HWND hwnd);
void WINX_AddCarbonPaneToView(HWND hwnd, void* pane);
void WINX_SetViewGL(HWND hwnd, bool on);
bool WINX_GetViewGL(HWND hwnd);
// Null: clears the current GL context and answers false. A window view with a context: makes
// it current (outside a paint pass no framebuffer of ours is bound) and answers true.
bool WINX_SetGLContextToView(HWND hwnd);

namespace winx_internal {
// The paint pass's side (WINX_Paint.cpp): true when the view paints with GL; the context is then
// current with a width x height framebuffer bound until endViewGL shows it into cr (a cairo_t*)
// and clears the current context.
bool beginViewGL(HWND__* v, int width, int height);
void endViewGL(HWND__* v, void* cr, int width, int height);
// Frees the view's context (the record goes).
void releaseViewGL(HWND__* v);
}  // namespace winx_internal
