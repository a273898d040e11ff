// Hosted views: the host-view minimum and the documented refusals (see the header).
#include "WINX_HostedView.h"

HWND WINX_GetAudioUnitCocoaView(HWND, void*, void*, RECT*) { return nullptr; }

HWND WINX_CreateCarbonWindowView(HWND parent, void** windowRefOut, const RECT* r, bool) {
  if (windowRefOut) *windowRefOut = nullptr;
  if (!WINX_ValidWindow(parent)) return nullptr;
  HWND v = WINX_CreateWindowView(nullptr, parent, nullptr, 0);
  if (v && r) SetWindowPos(v, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, SWP_NOZORDER);
  return v;
}

void* WINX_GetWindowFromCarbonWindowView(HWND) { return nullptr; }
void WINX_AddCarbonPaneToView(HWND, void*) {}
void WINX_SetViewGL(HWND, bool) {}
bool WINX_GetViewGL(HWND) { return false; }
bool WINX_SetGLContextToView(HWND) { return false; }
