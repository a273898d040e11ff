// Dialog-template layout and the control factories.
#include "WINX_DialogTemplate.h"

#include <gtk/gtk.h>
#include <strings.h>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "WINX_CtlText.h"
#include "WINX_Dialog.h"
#include "WINX_ListView.h"
#include "WINX_Notify.h"
#include "WINX_TreeView.h"

WINX_DialogResourceEntry* WINX_curmodule_dialogresource_head = nullptr;
int g_winx_want_nice_style = 1;

namespace {

// Layout context (see the header: one set, not re-entrant).
struct LayoutContext {
  double tx = 0, ty = 0, sx = 1, sy = 1;
  HWND owner = nullptr;
  float parentH = 100;
  bool doAutoRight = false;
  bool sizeToFits = false;
  double lastRight = 0, lastMid = -100, lastOverrun = 0;
};
LayoutContext g_ctx;

struct CreatorEntry {
  ControlCreatorProc proc;
  int count;
  CreatorEntry* next;
};
CreatorEntry* g_creators = nullptr;

int roundHalf(double v) { return (int)(v + 0.5); }  // adds 0.5, truncates toward zero

HWND__* owner() { return WINX_ValidWindow(g_ctx.owner); }

// Adds a made control to the owner at frame r. The owner keeps the only reference; false (and
// the control freed) when there is no live owner.
bool addControl(HWND__* c, const RECT& r, int style, int id) {
  c->frame = r;
  c->m_tag = id;
  if (style & 0x80000000) c->hidden = true;
  HWND__* o = owner();
  if (!o) {
    WINX_ReleaseWindow(c);  // never registered: the creator's reference is the last
    return false;
  }
  return WINX_AttachChild(o, c);
}

// Dialog templates were laid out for the small system fonts: below an x scale of 1.81 the
// controls take the system font at 8 points (scales below 1.0) or 10 points, larger scales keep
// the theme's font. Combo boxes are always 10 points.
void applyScaleFont(HWND__* c, bool combo) {
  const int points = combo ? 10 : g_ctx.sx < 1.81 ? (g_ctx.sx < 1.0 ? 8 : 10) : 0;
  static_cast<WinxCtl*>(c)->m_fontPoints = points;
  if (!points || !c->widget) return;
  char css[48];
  snprintf(css, sizeof(css), "* { font-size: %dpt; }", points);
  WINX_SetWidgetCss(c->widget, "winx-css-font", css);
}

void recordOverrun(HWND__* c) {
  g_ctx.lastOverrun = (double)c->frame.right - g_ctx.lastRight;
}

// Labels and buttons fitted to their text keep their height and left edge.
void sizeToFit(HWND__* c) {
  RECT want = c->frame;
  RECT desired = {0, 0, -1, -1};
  WINX_GetDesiredControlSize(c, &desired);
  if (desired.right < 0) return;
  want.right = want.left + desired.right;
  SetWindowPos(c, nullptr, want.left, want.top, want.right - want.left, want.bottom - want.top,
               SWP_NOZORDER);
}

}  // namespace

void WINX_RegisterDialogResource(WINX_DialogResourceEntry* entry) {
  if (!entry) return;
  entry->next = WINX_curmodule_dialogresource_head;
  WINX_curmodule_dialogresource_head = entry;
}

const WINX_DialogResourceIndex* WINX_FindDialogResource(WINX_DialogResourceEntry* head, const char* id) {
  for (WINX_DialogResourceEntry* e = head; e; e = e->next)
    if (e->res && e->res->resid == id) return e->res;
  return nullptr;
}

// ---- layout ----------------------------------------------------------------------------------

void WINX_MakeSetCurParms(float xscale, float yscale, float xtrans, float ytrans, HWND parent,
                          bool doAutoRight, bool sizeToFit) {
  WINX_InstallDialogColorHook();
  g_ctx.sizeToFits = sizeToFit;
  g_ctx.doAutoRight = doAutoRight;
  g_ctx.lastRight = 0;
  g_ctx.lastMid = -100;
  g_ctx.lastOverrun = 0;
  g_ctx.tx = xtrans;
  g_ctx.ty = ytrans;
  g_ctx.sx = xscale;
  g_ctx.sy = yscale;
  g_ctx.owner = parent;
  g_ctx.parentH = 100;
  HWND__* o = WINX_ValidWindow(parent);
  if (!o || !o->isWindowView()) return;
  g_ctx.parentH = (float)(o->frame.bottom - o->frame.top);
  if (g_ctx.sy > 0 && o->m_flip) g_ctx.sy = -g_ctx.sy;
}

RECT WINX_MapDialogRect(int x, int y, int w, int h, bool takesPart, bool keepHeight) {
  if (w < 0 && h < 0) return RECT{-x, -y, -x - w, -y - h};
  int X = roundHalf((x + g_ctx.tx) * g_ctx.sx);
  int W = roundHalf(w * g_ctx.sx);
  int H = roundHalf(std::fabs(keepHeight ? 1.0 : g_ctx.sy) * h);
  int Y = roundHalf(std::fabs(g_ctx.sy) * (y + g_ctx.ty));
  int outX = X;
  if (g_ctx.doAutoRight && takesPart) {
    if (std::fabs(X - g_ctx.lastRight) < 32 && g_ctx.lastMid >= Y && Y + H > g_ctx.lastMid)
      outX = X + (int)g_ctx.lastOverrun;
    g_ctx.lastRight = X + W;
    g_ctx.lastMid = Y + H / 2;
    g_ctx.lastOverrun = 0;
  }
  return RECT{outX, Y, outX + W, Y + H};
}

void WINX_GenerateDialogFromList(const WINX_DialogControlRecord* list, int count) {
  if (!list) return;
  for (int i = 0; i < count; ++i) {
    const WINX_DialogControlRecord& r = list[i];
    const char* kind = r.kind ? r.kind : "";
    const char* text = r.text ? r.text : "";
    if (!strcmp(kind, "__WINX_BUTTON")) {
      WINX_MakeButton(r.param, text, r.id, r.x, r.y, r.w, r.h, r.style);
    } else if (!strcmp(kind, "__WINX_EDIT")) {
      WINX_MakeEditField(r.id, r.x, r.y, r.w, r.h, r.style);
    } else if (!strcmp(kind, "__WINX_COMBO")) {
      WINX_MakeCombo(r.id, r.x, r.y, r.w, 0, r.style);
    } else if (!strcmp(kind, "__WINX_LISTBOX")) {
      WINX_MakeControl("", r.id, "SysListView32_LB", r.style, r.x, r.y, r.w, r.h, 0);
    } else if (!strcmp(kind, "__WINX_GROUP")) {
      WINX_MakeGroupBox(text, r.id, r.x, r.y, r.w, r.h, r.style);
    } else if (!strcmp(kind, "__WINX_CHECKBOX")) {
      WINX_MakeControl(text, r.id, "Button", r.style | 3, r.x, r.y, r.w, r.h, 0);
    } else if (!strcmp(kind, "__WINX_LABEL")) {
      WINX_MakeLabel(r.param, text, r.id, r.x, r.y, r.w, r.h, r.style);
    } else if (text[0]) {
      // General control: text, id, class, style, rectangle, extended style.
      WINX_MakeControl(kind, r.param, text, r.id, r.x, r.y, r.w, r.h, r.style);
    }
  }
}

// ---- factories -------------------------------------------------------------------------------

HWND WINX_MakeButton(int isDefault, const char* label, int id, int x, int y, int w, int h, int flags) {
  if ((uintptr_t)label < 65536) label = "ICONTEMP";
  RECT r = WINX_MapDialogRect(x, y, w, h, true, false);
  if (g_winx_want_nice_style != 1 && r.bottom - r.top >= 18 && r.bottom - r.top <= 23) r.bottom = r.top + 24;
  std::string title = WINX_StripMnemonics(label);
  WinxCtlButton* b = new WinxCtlButton(WINX_BUTTON_PUSH, title.c_str());
  applyScaleFont(b, false);
  if (!addControl(b, r, flags, id)) return nullptr;
  if (isDefault) WINX_MakeDefaultButton(b);
  recordOverrun(b);
  return b;
}

HWND WINX_MakeEditField(int id, int x, int y, int w, int h, int flags) {
  RECT r = WINX_MapDialogRect(x, y, w, h, true, false);
  HWND__* c;
  if (flags & 0x300000) {
    WinxCtlTextView* v = new WinxCtlTextView(!(flags & 0x800), (flags & 0x200000) != 0);
    c = v;
  } else {
    WinxCtlTextField* f = new WinxCtlTextField(false, (flags & 0x20) != 0, !(flags & 0x800));
    f->setAlignment((flags & 0x1) ? 0 : (flags & 0x2) ? 1 : -1);
    c = f;
  }
  applyScaleFont(c, false);
  if (!addControl(c, r, flags, id)) return nullptr;
  recordOverrun(c);
  return c;
}

HWND WINX_MakeLabel(int align, const char* label, int id, int x, int y, int w, int h, int flags) {
  RECT r = WINX_MapDialogRect(x, y, w, h, true, false);
  WinxCtlTextField* f = new WinxCtlTextField(true, false, false);
  std::string text = WINX_StripMnemonics(label);
  f->m_syncing = true;
  f->setText(text.c_str());
  f->m_syncing = false;
  f->setAlignment(align);
  applyScaleFont(f, false);
  if (f->widget) gtk_label_set_line_wrap(GTK_LABEL(f->widget), h > 12);
  (void)(flags & 0x100);  // notify: labels report clicks to the owner through WINX_SendCommand
  if (!addControl(f, r, flags, id)) return nullptr;
  if (g_ctx.sizeToFits && text.size() >= 2) sizeToFit(f);
  recordOverrun(f);
  return f;
}

HWND WINX_MakeCheckBox(const char* name, int id, int x, int y, int w, int h, int flags) {
  return WINX_MakeControl(name, id, "Button", flags | 3, x, y, w, h, 0);
}

HWND WINX_MakeListBox(int id, int x, int y, int w, int h, int style) {
  return WINX_MakeControl("", id, "SysListView32_LB", style, x, y, w, h, 0);
}

HWND WINX_MakeGroupBox(const char* name, int id, int x, int y, int w, int h, int style) {
  RECT r = WINX_MapDialogRect(x, y - 1, w, h + 3, false, false);
  std::string title = WINX_StripMnemonics(name);
  WinxCtlGroupBox* g = new WinxCtlGroupBox(title.c_str());
  if (style & 0x300) g->setTitleCentered(true);
  if (!addControl(g, r, style & 0x7FFFFFFF, id)) return nullptr;
  // Below every other child of the owner.
  if (HWND__* o = g->parent) {
    auto& kids = o->children;
    kids.erase(std::find(kids.begin(), kids.end(), (HWND__*)g));
    kids.insert(kids.begin(), g);
    winx_internal::restackWidgets(o);
  }
  return g;
}

HWND WINX_MakeCombo(int id, int x, int y, int w, int, int flags) {
  const bool dropList = (flags & 3) == 3;
  RECT r = dropList ? WINX_MapDialogRect(x, y, w, 18, true, true)
                    : WINX_MapDialogRect(x, y - 1, w, 22, true, true);
  WinxCtlCombo* c = new WinxCtlCombo(!dropList, flags);
  applyScaleFont(c, true);
  if (!addControl(c, r, flags, id)) return nullptr;
  recordOverrun(c);
  return c;
}

HWND WINX_MakeControl(const char* text, int id, const char* className, int style, int x, int y,
                      int w, int h, int exStyle) {
  if (!className) return nullptr;
  if (!text) text = "";
  if (g_creators) {
    int X = roundHalf((x + g_ctx.tx) * g_ctx.sx), W = roundHalf(w * g_ctx.sx);
    int Y = roundHalf(std::fabs(g_ctx.sy) * (y + g_ctx.ty)), H = roundHalf(std::fabs(g_ctx.sy) * h);
    if (w < 0 && h < 0) { X = -x; Y = -y; W = -w; H = -h; }
    for (CreatorEntry* e = g_creators; e; e = e->next) {
      HWND c = e->proc(g_ctx.owner, text, id, className, style, X, Y, W, H);
      if (!c) continue;
      if (exStyle) WINX_SetExtendedStyle(c, exStyle);
      return c;
    }
  }
  if (!strcasecmp(className, "Edit")) return WINX_MakeEditField(id, x, y, w, h, style);
  if (!strcasecmp(className, "msctls_progress32")) {
    WinxCtlProgress* p = new WinxCtlProgress;
    return addControl(p, WINX_MapDialogRect(x, y, w, h, false, false), style, id) ? p : nullptr;
  }
  if (!strcasecmp(className, "KALDORhfader") || !strcasecmp(className, "msctls_trackbar32")) {
    WinxCtlSlider* s = new WinxCtlSlider;
    return addControl(s, WINX_MapDialogRect(x, y, w, h, false, false), style, id) ? s : nullptr;
  }
  if (!strcasecmp(className, "static")) {
    RECT r = WINX_MapDialogRect(x, y, w, h, true, false);
    WinxCtlTextField* f = new WinxCtlTextField(true, false, false);
    if (text[0]) {
      std::string t = WINX_StripMnemonics(text);
      f->setText(t.c_str());
    }
    const int kind = style & 31;
    f->setAlignment(kind == 1 ? 0 : kind == 2 ? 1 : -1);
    applyScaleFont(f, false);
    if (f->widget) gtk_label_set_line_wrap(GTK_LABEL(f->widget), kind != 12);
    if (!addControl(f, r, style, id)) return nullptr;
    if (kind == 4) ShowWindow(f, SW_HIDE);
    recordOverrun(f);
    return f;
  }
  if (!strcasecmp(className, "Button")) {
    if (style & 0x20000000) return WINX_MakeGroupBox(text, id, x, y, w, h, style & ~0x20000000);
    if (style & 0x10000000) return WINX_MakeButton(1, text, id, x, y, w, h, style & ~0x10000000);
    if (style & 0x08000000) return WINX_MakeButton(0, text, id, x, y, w, h, style & ~0x08000000);
    RECT r = WINX_MapDialogRect(x, y, w, h, true, false);
    WINX_ButtonKind kind;
    switch (style & 15) {
      case 3: kind = WINX_BUTTON_CHECK; break;
      case 6: kind = WINX_BUTTON_3STATE; break;
      case 9: kind = WINX_BUTTON_RADIO; break;
      case 11: kind = WINX_BUTTON_OWNERDRAW; break;
      default: kind = WINX_BUTTON_PUSH; break;
    }
    std::string t = WINX_StripMnemonics(text);
    WinxCtlButton* b = new WinxCtlButton(kind, t.c_str());
    applyScaleFont(b, false);
    if (kind == WINX_BUTTON_RADIO) b->setRadioFlags(1 | ((style & 0x20000) ? 2 : 0));
    b->m_checkOnRight = (style & 0x20) != 0;
    if (b->m_checkOnRight && b->widget && GTK_IS_CHECK_BUTTON(b->widget))
      gtk_widget_set_direction(b->widget, GTK_TEXT_DIR_RTL);
    if (!addControl(b, r, style, id)) return nullptr;
    if (g_ctx.sizeToFits && kind != WINX_BUTTON_OWNERDRAW) sizeToFit(b);
    recordOverrun(b);
    return b;
  }
  if (!strcasecmp(className, "SysListView32") || !strcasecmp(className, "SysListView32_LB")) {
    const bool listBox = !strcasecmp(className, "SysListView32_LB");
    return WINX_MakeListViewControl(g_ctx.owner, listBox, id, style, WINX_MapDialogRect(x, y, w, h, false, false),
                                    roundHalf(w * g_ctx.sx));
  }
  if (!strcasecmp(className, "SysTreeView32"))
    return WINX_MakeTreeViewControl(g_ctx.owner, id, style, WINX_MapDialogRect(x, y, w, h, false, false));
  if (!strcasecmp(className, "SysTabControl32")) {
    HWND t = WINX_MakeTabControl(g_ctx.owner, id, WINX_MapDialogRect(x, y - 1, w, h + 6, false, false));
    if (t && (style & 0x80000000)) ShowWindow(t, SW_HIDE);
    return t;
  }
  return nullptr;
}

// ---- custom creators -------------------------------------------------------------------------

void WINX_RegisterCustomControlCreator(ControlCreatorProc proc) {
  if (!proc) return;
  CreatorEntry** tail = &g_creators;
  for (; *tail; tail = &(*tail)->next)
    if ((*tail)->proc == proc) {
      (*tail)->count++;
      return;
    }
  *tail = new CreatorEntry{proc, 1, nullptr};
}

void WINX_UnregisterCustomControlCreator(ControlCreatorProc proc) {
  if (!proc) return;
  for (CreatorEntry** p = &g_creators; *p; p = &(*p)->next) {
    if ((*p)->proc != proc) continue;
    if (--(*p)->count <= 0) {
      CreatorEntry* dead = *p;
      *p = dead->next;
      delete dead;
    }
    return;
  }
}
