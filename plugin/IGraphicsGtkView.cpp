#include "IGraphicsGtkView.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "GFX_Bitmap.h"
#include "IControl.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "IPopupMenu.h"

namespace {

// Allowed characters of the value field by parameter type: none, bool, int, enum, double, text.
// Text: letters, digits, blank and ! " # $ % & / ' + - * ( ) [ ] , .
const char kNumberChars[] = "0123456789-+";
const char kDoubleChars[] = "0123456789.-+";
const char kTextChars[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !\"#$%&/'+-*()[],.";

// Hardware-independent key codes handed to the canvas.
enum { kKeySpace = 0, kKeyUp = 1, kKeyDown = 2, kKeyLeft = 3, kKeyRight = 4, kKeyDigit0 = 5, kKeyLetterA = 15 };

}  // namespace

IGraphicsGtkView::IGraphicsGtkView(IGraphics* graphics, GtkWidget* parent) : mGraphics(graphics) {
  const int w = graphics->Width(), h = graphics->Height();
  mRoot = gtk_fixed_new();
  mArea = gtk_drawing_area_new();
  gtk_widget_set_size_request(mArea, w, h);
  gtk_widget_set_size_request(mRoot, w, h);
  gtk_widget_set_can_focus(mArea, TRUE);
  gtk_widget_add_events(mArea, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                   GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK | GDK_ENTER_NOTIFY_MASK);
  gtk_fixed_put(GTK_FIXED(mRoot), mArea, 0, 0);
  g_signal_connect(mArea, "draw", G_CALLBACK(onDraw), this);
  g_signal_connect(mArea, "button-press-event", G_CALLBACK(onButtonPress), this);
  g_signal_connect(mArea, "button-release-event", G_CALLBACK(onButtonRelease), this);
  g_signal_connect(mArea, "motion-notify-event", G_CALLBACK(onMotion), this);
  g_signal_connect(mArea, "scroll-event", G_CALLBACK(onScroll), this);
  g_signal_connect(mArea, "key-press-event", G_CALLBACK(onKeyPress), this);
  g_signal_connect(mArea, "enter-notify-event", G_CALLBACK(onEnter), this);
  g_signal_connect(mRoot, "destroy", G_CALLBACK(onRootDestroy), this);
  mScreen = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w > 0 ? w : 1, h > 0 ? h : 1);
  if (parent) gtk_container_add(GTK_CONTAINER(parent), mRoot);
  g_signal_connect(mArea, "realize", G_CALLBACK(onAreaRealize), this);
  gtk_widget_show_all(mRoot);
  if (gtk_widget_get_realized(mArea)) onAreaRealize(mArea, this);
  gtk_widget_grab_focus(mArea);
  startTimer(FrameIntervalMs());
  mWakeSource = g_source_new(&sWakeFuncs, sizeof(WakeSource));
  reinterpret_cast<WakeSource*>(mWakeSource)->view = this;
  g_source_attach(mWakeSource, nullptr);
}

IGraphicsGtkView::~IGraphicsGtkView() {
  KillTimer();
  if (mWakeSource) {
    g_source_destroy(mWakeSource);
    g_source_unref(mWakeSource);
  }
  if (mEntryCss) g_object_unref(mEntryCss);
  if (mScreen) cairo_surface_destroy(mScreen);
}

void IGraphicsGtkView::KillTimer() {
  if (mTimer) g_source_remove(mTimer);
  mTimer = 0;
}

// Every motion of the pointer is a step of the hand: GDK must not merge the ones that queue up
// while the view is busy into their last (a knob would jump, and its value's steps between go
// unsent). The window is made anew when the widget is realized again.
void IGraphicsGtkView::onAreaRealize(GtkWidget* w, gpointer p) {
  GdkWindow* win = gtk_widget_get_window(w);
  if (!win) return;
  gdk_window_set_event_compression(win, FALSE);
  // The screen copy in memory the display shares where it can: a paint then hands the display
  // this memory instead of copying the dirty pixels into a transfer buffer of the toolkit's,
  // which grows with what is in flight and never shrinks.
  auto* self = static_cast<IGraphicsGtkView*>(p);
  if (!self->mScreen) return;
  const int sw = cairo_image_surface_get_width(self->mScreen), sh = cairo_image_surface_get_height(self->mScreen);
  cairo_surface_t* shared = gdk_window_create_similar_image_surface(win, CAIRO_FORMAT_RGB24, sw, sh, 1);
  if (!shared || cairo_surface_status(shared) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_get_type(shared) != CAIRO_SURFACE_TYPE_IMAGE) {
    if (shared) cairo_surface_destroy(shared);
    return;
  }
  cairo_t* cr = cairo_create(shared);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, self->mScreen, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(self->mScreen);
  self->mScreen = shared;
}

void IGraphicsGtkView::Unbind() {
  EndUserInput();
  mGraphics = nullptr;
  if (mRoot) {
    GtkWidget* root = mRoot;
    mRoot = mArea = nullptr;
    g_signal_handlers_disconnect_by_data(root, this);
    gtk_widget_destroy(root);
  }
}

void IGraphicsGtkView::onRootDestroy(GtkWidget*, gpointer p) {
  auto* self = static_cast<IGraphicsGtkView*>(p);
  // The host tore the container down: forget the widgets (they are going) and close through
  // the graphics object, which deletes this view. Nothing may touch self afterwards, so no
  // handler of ours may stay on the dying children (a focused entry gets a focus-out).
  if (self->mEntry) g_signal_handlers_disconnect_by_data(self->mEntry, self);
  if (self->mArea) g_signal_handlers_disconnect_by_data(self->mArea, self);
  g_signal_handlers_disconnect_by_data(self->mRoot, self);
  self->mRoot = self->mArea = self->mEntry = nullptr;
  self->mEdControl = nullptr;
  self->mEdParam = nullptr;
  IGraphics* g = self->mGraphics;
  self->mGraphics = nullptr;
  if (g) g->CloseWindow();
}

// ---------------------------------------------------------------- repaint
//
// The view repaints on a tick of its own, at the refresh interval that the toplevel's frame
// clock reports for the display, and draws straight into the drawing area's window. It does not
// hand its repaints to GTK's frame clock (gtk_widget_queue_draw_area): after a frame in which the
// frame clock has painted, GDK holds each pointer motion back until the next frame's event flush,
// up to a whole refresh interval, and a knob's message to the synth would wait as long. Drawn
// outside that cycle, the frame clock stays idle and a motion is handed over as it arrives. GTK's
// own repaints (exposure, and everything while the value field lies over the canvas) still come
// through onDraw.
//
// Half a second after the last input, dirty area or idle work the tick rests at the canvas's frame
// rate, the old timer's; input, or dirt found, brings it back to the display's. A control marked
// dirty on another thread (MIDI input, the sender's jobs) wakes the main loop (IGraphics::Dirtied,
// IGraphicsGtk::WakeView), and the view's wake source runs the tick at once instead of at the
// resting tick's next turn; a flood of such changes (a knob swept on the synth) wakes it at most
// once a refresh interval.

namespace {
constexpr int kRestAfterMs = 500;
}

int IGraphicsGtkView::FrameIntervalMs() const {
  gint64 interval = 0, presentation = 0;
  GdkFrameClock* clock = mArea ? gtk_widget_get_frame_clock(mArea) : nullptr;
  if (clock) gdk_frame_clock_get_refresh_info(clock, gdk_frame_clock_get_frame_time(clock), &interval, &presentation);
  // Before the widget is on screen there is no clock. A compositor's figure is held to 1 ms ..
  // the resting period.
  const int ms = interval > 0 ? static_cast<int>((interval + 500) / 1000) : 1000 / 60;
  return ms < 1 ? 1 : ms > restingMs() ? restingMs() : ms;
}

int IGraphicsGtkView::restingMs() const {
  const int fps = mGraphics && mGraphics->FPS() > 0 ? mGraphics->FPS() : IGraphics::kDefaultFPS;
  return 1000 / fps;
}

void IGraphicsGtkView::startTimer(int ms) {
  KillTimer();
  mTimerMs = ms;
  // The default main context: nested loops of menus and dialogs keep dispatching it. At the
  // default priority the tick takes its turn with the input events instead of starving them.
  mTimer = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(ms), onTimerCallback, this, nullptr);
}

void IGraphicsGtkView::wake() {
  mQuietMs = 0;
  if (mTimer && mTimerMs == restingMs() && FrameIntervalMs() != mTimerMs) startTimer(FrameIntervalMs());
}

GSourceFuncs IGraphicsGtkView::sWakeFuncs = {
    [](GSource* s, gint* timeout) -> gboolean {
      return reinterpret_cast<WakeSource*>(s)->view->wakeDue(g_source_get_time(s), timeout);
    },
    [](GSource* s) -> gboolean { return reinterpret_cast<WakeSource*>(s)->view->wakeDue(g_source_get_time(s), nullptr); },
    [](GSource* s, GSourceFunc, gpointer) -> gboolean {
      IGraphicsGtkView* self = reinterpret_cast<WakeSource*>(s)->view;
      // The resting tick may have taken the wake in this turn of the loop already.
      if (!self->wakeDue(g_source_get_time(s), nullptr)) return G_SOURCE_CONTINUE;
      self->mLastWakeUs = g_source_get_time(s);
      if (self->OnTimer()) self->wake();
      return G_SOURCE_CONTINUE;
    },
    nullptr, nullptr, nullptr};

bool IGraphicsGtkView::wakeDue(gint64 now, gint* timeout) const {
  if (!mGraphics || !mArea || !mGraphics->WakePending()) return false;
  const gint64 due = mLastWakeUs + 1000 * static_cast<gint64>(FrameIntervalMs());
  if (now >= due) return true;
  if (timeout) *timeout = static_cast<gint>((due - now + 999) / 1000);
  return false;
}

bool IGraphicsGtkView::OnTimer() {
  if (!mGraphics || !mArea) return false;
  // Before anything is looked at: what another thread changes after this wakes the view again.
  mGraphics->TakeWake();
  // What other threads handed to this one first: its changes are drawn in this tick.
  const bool handedOver = mGraphics->RunWindowWork();
  IRECTList dirty;
  if (!mGraphics->IsDirty(&dirty)) return mGraphics->RunIdleWork() || handedOver;
  const int w = mGraphics->Width(), h = mGraphics->Height();
  // Only the part on the canvas can be drawn; a control reaching past the edge is cut.
  IRECTList areas;
  for (int i = 0; i < dirty.n; ++i) areas.Add(dirty.rects[i].Intersect(IRECT(0, 0, w, h)));
  return areas.n > 0 && paint(&areas);
}

gboolean IGraphicsGtkView::onTimerCallback(gpointer p) {
  auto* self = static_cast<IGraphicsGtkView*>(p);
  if (self->OnTimer())
    self->mQuietMs = 0;
  else if (self->mQuietMs < kRestAfterMs)
    self->mQuietMs += self->mTimerMs;
  if (!self->mArea) return G_SOURCE_CONTINUE;
  // Also follows the window to a display of another rate.
  const int ms = self->mQuietMs >= kRestAfterMs ? self->restingMs() : self->FrameIntervalMs();
  if (ms == self->mTimerMs) return G_SOURCE_CONTINUE;
  self->mTimer = 0;  // this source ends with the return
  self->startTimer(ms);
  return G_SOURCE_REMOVE;
}

bool IGraphicsGtkView::paint(IRECTList* areas) {
  GdkWindow* win = gtk_widget_get_window(mArea);
  // Not on screen (the host hid it): the areas stay dirty, and showing the view again exposes it.
  if (!win || !gtk_widget_is_drawable(mArea)) return false;
  if (mEntry) {
    // The value field is drawn over the canvas by GTK, after it: only its cycle keeps it on top.
    for (int i = 0; i < areas->n; ++i) {
      const IRECT& r = areas->rects[i];
      gtk_widget_queue_draw_area(mArea, r.L, r.T, r.W(), r.H());
    }
    return true;
  }
  cairo_region_t* region = cairo_region_create();
  for (int i = 0; i < areas->n; ++i) {
    const IRECT& r = areas->rects[i];
    const cairo_rectangle_int_t c = {r.L, r.T, r.W(), r.H()};
    cairo_region_union_rectangle(region, &c);
  }
  GdkDrawingContext* frame = gdk_window_begin_draw_frame(win, region);
  if (frame) {
    drawAreas(gdk_drawing_context_get_cairo_context(frame), areas);
    gdk_window_end_draw_frame(win, frame);
    // The paint goes to the display now, not when the main loop next looks for events.
    gdk_display_flush(gdk_window_get_display(win));
  }
  cairo_region_destroy(region);
  return true;
}

// The canvas draws area by area and hands each to DrawScreen, which only copies its pixels into
// the screen copy; the copy goes to the window once, for all the areas, clipped to the frame's
// region. The screen copy is memory the display reads too: before it is written, cairo waits
// until the display has read what the last paint handed it, a round trip to the display. Painted
// area by area, a frame paid one round trip for each area after the first (a whole sound from the
// synth dirties four: half a millisecond each on a quiet machine, many with the display's process
// waiting for a core); once a frame, the last paint was read long ago.
void IGraphicsGtkView::drawAreas(cairo_t* cr, IRECTList* areas) {
  mCurrentCr = cr;
  mScreenCopied = mScreenFlushed = false;
  mGraphics->Draw(areas);
  if (mScreenCopied) {
    cairo_set_source_surface(cr, mScreen, 0, 0);
    cairo_paint(cr);
  }
  mCurrentCr = nullptr;
}

gboolean IGraphicsGtkView::onDraw(GtkWidget*, cairo_t* cr, gpointer p) {
  auto* self = static_cast<IGraphicsGtkView*>(p);
  if (!self->mGraphics) return FALSE;
  GdkRectangle clip;
  if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return TRUE;
  // The region GTK asks for, as the rectangles it is made of; their bounds when the clip cannot
  // be listed as rectangles.
  IRECTList areas;
  cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
  if (list && list->status == CAIRO_STATUS_SUCCESS) {
    for (int i = 0; i < list->num_rectangles; ++i) {
      const cairo_rectangle_t& c = list->rectangles[i];
      areas.Add(IRECT(static_cast<int>(std::floor(c.x)), static_cast<int>(std::floor(c.y)),
                      static_cast<int>(std::ceil(c.x + c.width)), static_cast<int>(std::ceil(c.y + c.height))));
    }
  }
  if (list) cairo_rectangle_list_destroy(list);
  if (areas.n == 0) areas.Add(IRECT(clip.x, clip.y, clip.x + clip.width, clip.y + clip.height));
  self->drawAreas(cr, &areas);
  return TRUE;
}

bool IGraphicsGtkView::DrawScreen(IRECT* rect) {
  if (!mCurrentCr || !mGraphics || !mScreen) return false;
  GFX_IBitmap* bm = mGraphics->GetDrawBitmap();
  if (!bm || !bm->getBits()) return false;
  const int w = cairo_image_surface_get_width(mScreen), h = cairo_image_surface_get_height(mScreen);
  IRECT r = rect->Intersect(IRECT(0, 0, w < bm->getWidth() ? w : bm->getWidth(), h < bm->getHeight() ? h : bm->getHeight()));
  if (r.W() > 0 && r.H() > 0) {
    if (!mScreenFlushed) cairo_surface_flush(mScreen);
    mScreenFlushed = true;
    unsigned char* dst = cairo_image_surface_get_data(mScreen);
    const int dstStride = cairo_image_surface_get_stride(mScreen);
    const GFX_pixel* src = bm->getBits();
    const int span = bm->getRowSpan();
    // The canvas word is A | R << 8 | G << 16 | B << 24; Cairo's is B | G << 8 | R << 16 | X << 24:
    // one byte swap. The alpha byte lands in X, which RGB24 ignores (the canvas is opaque).
    for (int y = r.T; y < r.B; ++y) {
      const GFX_pixel* s = src + static_cast<size_t>(y) * span;
      auto* d = reinterpret_cast<uint32_t*>(dst + static_cast<size_t>(y) * dstStride);
      for (int x = r.L; x < r.R; ++x) d[x] = __builtin_bswap32(s[x]);
    }
    cairo_surface_mark_dirty_rectangle(mScreen, r.L, r.T, r.W(), r.H());
  }
  mScreenCopied = true;
  return true;
}

// ---------------------------------------------------------------- mouse and keys

IMouseMod IGraphicsGtkView::ModFor(unsigned int state, bool rightButtonEvent) {
  IMouseMod m;
  // Command maps to Super: a Super-click is a right click for the controls.
  const bool super = (state & (GDK_SUPER_MASK | GDK_MOD4_MASK)) != 0;
  m.L = !rightButtonEvent;
  m.R = rightButtonEvent || super;
  m.S = (state & GDK_SHIFT_MASK) != 0;
  m.C = (state & GDK_CONTROL_MASK) != 0;
  m.A = (state & GDK_MOD1_MASK) != 0;
  return m;
}

void IGraphicsGtkView::setMouse(double x, double y) {
  mPrevX = static_cast<int>(x);
  mPrevY = static_cast<int>(y);
  wake();
}

bool IGraphicsGtkView::isDoubleClick(const GdkEventButton* ev) {
  gint time = 400, distance = 5;
  GtkSettings* settings = gtk_widget_get_settings(mArea);
  if (settings) g_object_get(settings, "gtk-double-click-time", &time, "gtk-double-click-distance", &distance, nullptr);
  const bool dbl = !mLastPressWasDouble && mLastPressTime != 0 && ev->time - mLastPressTime <= static_cast<guint32>(time) &&
                   std::fabs(ev->x - mLastPressX) <= distance && std::fabs(ev->y - mLastPressY) <= distance;
  mLastPressTime = ev->time;
  mLastPressX = ev->x;
  mLastPressY = ev->y;
  mLastPressWasDouble = dbl;
  return dbl;
}

// While a popup menu or dialog of the window runs its nested loop, the clicks that the loop
// still delivers here (the one that closed the menu, quick ones behind it) open nothing: a
// second popup would nest inside the first, whose control may then be gone when it returns.
gboolean IGraphicsGtkView::onButtonPress(GtkWidget*, GdkEventButton* ev, gpointer p) {
  auto* self = static_cast<IGraphicsGtkView*>(p);
  if (!self->mGraphics) return FALSE;
  if (self->mGraphics->InModal()) return TRUE;
  // GTK's own 2- and 3-button events follow presses we have already classified.
  if (ev->type != GDK_BUTTON_PRESS) return TRUE;
  if (self->mArea) gtk_widget_grab_focus(self->mArea);
  self->setMouse(ev->x, ev->y);
  if (ev->button == 3) {
    IMouseMod mod = ModFor(ev->state, true);
    self->mGraphics->OnMouseDown(self->mPrevX, self->mPrevY, &mod);
    return TRUE;
  }
  if (ev->button != 1) return FALSE;
  IMouseMod mod = ModFor(ev->state, false);
  if (self->isDoubleClick(ev))
    self->mGraphics->OnMouseDblClick(self->mPrevX, self->mPrevY, &mod);
  else
    self->mGraphics->OnMouseDown(self->mPrevX, self->mPrevY, &mod);
  return TRUE;
}

gboolean IGraphicsGtkView::onButtonRelease(GtkWidget*, GdkEventButton* ev, gpointer p) {
  auto* self = static_cast<IGraphicsGtkView*>(p);
  if (!self->mGraphics || (ev->button != 1 && ev->button != 3)) return FALSE;
  if (self->mGraphics->InModal()) return TRUE;
  self->setMouse(ev->x, ev->y);
  IMouseMod mod = ModFor(ev->state, ev->button == 3);
  self->mGraphics->OnMouseUp(self->mPrevX, self->mPrevY, &mod);
  return TRUE;
}

gboolean IGraphicsGtkView::onMotion(GtkWidget*, GdkEventMotion* ev, gpointer p) {
  auto* self = static_cast<IGraphicsGtkView*>(p);
  if (!self->mGraphics) return FALSE;
  if (self->mGraphics->InModal()) return TRUE;
  self->setMouse(ev->x, ev->y);
  const bool left = (ev->state & GDK_BUTTON1_MASK) != 0, right = (ev->state & GDK_BUTTON3_MASK) != 0;
  if (left || right) {
    if (self->mEntry) return TRUE;  // no drags while a value is typed
    IMouseMod mod = ModFor(ev->state, !left && right);
    self->mGraphics->OnMouseDrag(self->mPrevX, self->mPrevY, &mod);
  } else {
    IMouseMod mod = ModFor(ev->state, false);
    self->mGraphics->OnMouseOver(self->mPrevX, self->mPrevY, &mod);
  }
  return TRUE;
}

gboolean IGraphicsGtkView::onScroll(GtkWidget*, GdkEventScroll* ev, gpointer p) {
  auto* self = static_cast<IGraphicsGtkView*>(p);
  if (!self->mGraphics) return FALSE;
  if (self->mGraphics->InModal()) return TRUE;
  self->CancelTextEntry();
  int d = 0;
  if (ev->direction == GDK_SCROLL_UP)
    d = 1;
  else if (ev->direction == GDK_SCROLL_DOWN)
    d = -1;
  else if (ev->direction == GDK_SCROLL_SMOOTH)
    d = static_cast<int>(-ev->delta_y);  // truncated: a fraction of a notch is no step
  self->setMouse(ev->x, ev->y);
  IMouseMod mod = ModFor(ev->state, false);
  self->mGraphics->OnMouseWheel(self->mPrevX, self->mPrevY, &mod, d);
  return TRUE;
}

int IGraphicsGtkView::KeyCodeFor(unsigned int keyval) {
  switch (keyval) {
    case GDK_KEY_space: return kKeySpace;
    case GDK_KEY_Up: return kKeyUp;
    case GDK_KEY_Down: return kKeyDown;
    case GDK_KEY_Left: return kKeyLeft;
    case GDK_KEY_Right: return kKeyRight;
    case GDK_KEY_Escape: return kKeyEscape;
    default: break;
  }
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return kKeyDigit0 + static_cast<int>(keyval - GDK_KEY_0);
  if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return kKeyLetterA + static_cast<int>(keyval - GDK_KEY_a);
  if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return kKeyLetterA + static_cast<int>(keyval - GDK_KEY_A);
  return -1;
}

gboolean IGraphicsGtkView::onKeyPress(GtkWidget*, GdkEventKey* ev, gpointer p) {
  auto* self = static_cast<IGraphicsGtkView*>(p);
  if (!self->mGraphics) return FALSE;
  self->wake();
  const int code = KeyCodeFor(ev->keyval);
  const bool handled = code >= 0 && self->mGraphics->OnKeyDown(self->mPrevX, self->mPrevY, code);
  // Arrow keys are never declined: GTK would take a declined one as focus navigation and move
  // the keyboard focus out of the view into the host's next widget (its tempo field, which the
  // next arrow would then change). Other keys we do not use go on to the host (Tab, function
  // keys, its accelerators).
  return handled || IsArrowKey(ev->keyval) ? TRUE : FALSE;
}

bool IGraphicsGtkView::IsArrowKey(unsigned int keyval) {
  switch (keyval) {
    case GDK_KEY_Up: case GDK_KEY_Down: case GDK_KEY_Left: case GDK_KEY_Right:
    case GDK_KEY_KP_Up: case GDK_KEY_KP_Down: case GDK_KEY_KP_Left: case GDK_KEY_KP_Right:
      return true;
    default:
      return false;
  }
}

// The pointer entering the view brings the keyboard focus with it, as a plug-in window does
// on the Mac, unless the user is typing into a text field of the host's (which keeps it).
gboolean IGraphicsGtkView::onEnter(GtkWidget* w, GdkEventCrossing*, gpointer p) {
  auto* self = static_cast<IGraphicsGtkView*>(p);
  if (self->mEntry) return FALSE;
  GtkWidget* top = gtk_widget_get_toplevel(w);
  GtkWidget* focus = GTK_IS_WINDOW(top) ? gtk_window_get_focus(GTK_WINDOW(top)) : nullptr;
  if (focus && focus != w && GTK_IS_EDITABLE(focus)) return FALSE;
  gtk_widget_grab_focus(w);
  return FALSE;
}

void IGraphicsGtkView::SetCursorHidden(bool hidden) {
  if (!mArea) return;
  GdkWindow* win = gtk_widget_get_window(mArea);
  if (!win) return;
  GdkCursor* cursor = hidden ? gdk_cursor_new_for_display(gdk_window_get_display(win), GDK_BLANK_CURSOR) : nullptr;
  gdk_window_set_cursor(win, cursor);
  if (cursor) g_object_unref(cursor);
}

// ---------------------------------------------------------------- popup menus

namespace {

struct ItemTag {
  IGraphicsGtkView::MenuChoice* choice;
  IPopupMenu* menu;
  int index;
};

void onMenuItemActivate(GtkMenuItem*, gpointer p) {
  auto* tag = static_cast<ItemTag*>(p);
  tag->choice->menu = tag->menu;
  tag->choice->index = tag->index;
}

void freeTag(gpointer p, GClosure*) { delete static_cast<ItemTag*>(p); }

}  // namespace

GtkWidget* IGraphicsGtkView::BuildMenu(IPopupMenu* model, MenuChoice* choice) {
  GtkWidget* menu = gtk_menu_new();
  // A long list (the 69 oscillator shapes) runs off the screen as one column: past kMenuRows
  // items the menu is laid out in columns of equal height, read top to bottom, left to right.
  constexpr int kMenuRows = 24;
  const int n = model->GetNItems();
  const int columns = (n + kMenuRows - 1) / kMenuRows;
  const int rows = columns > 1 ? (n + columns - 1) / columns : n;
  for (int i = 0; i < n; ++i) {
    IPopupMenuItem* item = model->GetItem(i);
    UTIL_String text;
    model->GetDisplayText(i, &text);
    GtkWidget* mi;
    if (item->GetSubmenu()) {
      mi = gtk_menu_item_new_with_label(text.Get());
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(mi), BuildMenu(item->GetSubmenu(), choice));
    } else if (item->GetIsSeparator()) {
      mi = gtk_separator_menu_item_new();
    } else {
      std::string label = text.Get();
      if (item->GetIsTitle()) label = "    " + label;  // one indentation level
      if (item->GetChecked()) {
        mi = gtk_check_menu_item_new_with_label(label.c_str());
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(mi), TRUE);
      } else {
        mi = gtk_menu_item_new_with_label(label.c_str());
      }
      if (!item->GetEnabled()) gtk_widget_set_sensitive(mi, FALSE);
      g_signal_connect_data(mi, "activate", G_CALLBACK(onMenuItemActivate), new ItemTag{choice, model, i}, freeTag,
                            GConnectFlags(0));
    }
    if (columns > 1) {
      const guint col = static_cast<guint>(i / rows), row = static_cast<guint>(i % rows);
      gtk_menu_attach(GTK_MENU(menu), mi, col, col + 1, row, row + 1);
    } else {
      gtk_menu_shell_append(GTK_MENU_SHELL(menu), mi);
    }
  }
  gtk_widget_show_all(menu);
  return menu;
}

namespace {
gboolean quitLoop(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return G_SOURCE_REMOVE;
}
void unrefLoop(gpointer loop) { g_main_loop_unref(static_cast<GMainLoop*>(loop)); }
// "deactivate" comes before the chosen item's "activate": quit from an idle so that the choice
// is recorded before the nested loop returns. The idle keeps its own reference to the loop.
void onMenuDeactivate(GtkMenuShell*, gpointer loop) {
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, quitLoop, g_main_loop_ref(static_cast<GMainLoop*>(loop)), unrefLoop);
}
}  // namespace

IPopupMenu* IGraphicsGtkView::PopupMenu(IPopupMenu* model, IRECT* rect) {
  if (!mArea || !model || !mGraphics || mGraphics->InModal() || mGraphics->Going()) return nullptr;
  GdkWindow* win = gtk_widget_get_window(mArea);
  if (!win) return nullptr;
  MenuChoice choice;
  GtkWidget* menu = BuildMenu(model, &choice);
  g_object_ref_sink(menu);
  gtk_menu_attach_to_widget(GTK_MENU(menu), mArea, nullptr);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_signal_connect(menu, "deactivate", G_CALLBACK(onMenuDeactivate), loop);
  GdkRectangle at = {rect->L, rect->T, rect->W() > 0 ? rect->W() : 1, rect->H() > 0 ? rect->H() : 1};
  // The click that opened the menu lets GTK grab the pointer for it.
  GdkEvent* trigger = gtk_get_current_event();
  // Just below the control's bottom-left corner, 4 pixels down, as the editor's menus open.
  g_object_set(menu, "rect-anchor-dy", 4, nullptr);
  gtk_menu_popup_at_rect(GTK_MENU(menu), win, &at, GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST, trigger);
  if (trigger) gdk_event_free(trigger);
  // Meanwhile nothing that other threads handed over runs: it might free this model. The loop
  // may close the window and delete this view: only locals are used after it. A plug-in deleted
  // meanwhile cancels the menu and goes once this has returned.
  IGraphics* graphics = mGraphics;
  graphics->BeginModal(menu);
  if (gtk_widget_get_visible(menu)) g_main_loop_run(loop);
  // A window closed meanwhile has run its queue now, which may have rebuilt the model.
  const bool closed = graphics->EndModal();
  g_signal_handlers_disconnect_by_func(menu, reinterpret_cast<gpointer>(onMenuDeactivate), loop);
  g_main_loop_unref(loop);
  if (gtk_menu_get_attach_widget(GTK_MENU(menu))) gtk_menu_detach(GTK_MENU(menu));
  gtk_widget_destroy(menu);
  g_object_unref(menu);
  if (closed || !choice.menu || choice.index < 0) return nullptr;
  choice.menu->SetChosenItemIdx(choice.index);
  return choice.menu;
}

// ---------------------------------------------------------------- text entry

const char* IGraphicsGtkView::AllowedCharacters(int paramType) {
  switch (paramType) {
    case IParam::kTypeBool:
    case IParam::kTypeInt:
    case IParam::kTypeEnum: return kNumberChars;
    case IParam::kTypeDouble: return kDoubleChars;
    case IParam::kTypeText: return kTextChars;
    default: return "";
  }
}

void IGraphicsGtkView::CreateTextEntry(IControl* control, IParam* param, IText* text, const char* str, IRECT* rect) {
  if (!control || mEntry || !mRoot) return;
  mEntry = gtk_entry_new();
  gtk_entry_set_has_frame(GTK_ENTRY(mEntry), FALSE);
  gtk_widget_set_size_request(mEntry, rect->W() > 1 ? rect->W() : 1, rect->H() > 1 ? rect->H() : 1);
  gtk_entry_set_width_chars(GTK_ENTRY(mEntry), 1);
  if (text) {
    const float align = text->mAlign == IText::kAlignNear ? 0.0f : text->mAlign == IText::kAlignFar ? 1.0f : 0.5f;
    if (text->mAlign >= 0 && text->mAlign <= 2) gtk_entry_set_alignment(GTK_ENTRY(mEntry), align);
    const int size = static_cast<int>(text->mSize * 0.9);
    char css[512];
    const IColor& fg = text->mTextEntryFGColor;
    const IColor& bg = text->mTextEntryBGColor;
    std::snprintf(css, sizeof(css),
                  "entry { font-family: Monaco; font-size: %dpx; min-height: 0; padding: 0 2px; border: none;"
                  " box-shadow: none; color: rgba(%d,%d,%d,%.3f); background: rgba(%d,%d,%d,%.3f); }",
                  size > 1 ? size : 1, fg.R, fg.G, fg.B, fg.A / 255.0, bg.R, bg.G, bg.B, bg.A / 255.0);
    if (!mEntryCss) mEntryCss = gtk_css_provider_new();
    gtk_css_provider_load_from_data(mEntryCss, css, -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(mEntry), GTK_STYLE_PROVIDER(mEntryCss),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  }
  mFilterChars = param != nullptr;
  mAllowed = param ? AllowedCharacters(param->Type()) : "";
  if (param && control->GetTextEntryLength() > 0) gtk_entry_set_max_length(GTK_ENTRY(mEntry), control->GetTextEntryLength());
  gtk_entry_set_text(GTK_ENTRY(mEntry), str ? str : "");
  g_signal_connect(mEntry, "insert-text", G_CALLBACK(onEntryInsert), this);
  g_signal_connect(mEntry, "activate", G_CALLBACK(onEntryActivate), this);
  g_signal_connect(mEntry, "focus-out-event", G_CALLBACK(onEntryFocusOut), this);
  g_signal_connect(mEntry, "key-press-event", G_CALLBACK(onEntryKeyPress), this);
  gtk_fixed_put(GTK_FIXED(mRoot), mEntry, rect->L, rect->T);
  gtk_widget_show(mEntry);
  gtk_widget_grab_focus(mEntry);
  mEdControl = control;
  mEdParam = param;
}

void IGraphicsGtkView::onEntryInsert(GtkEditable* e, const gchar* text, gint len, gint*, gpointer p) {
  auto* self = static_cast<IGraphicsGtkView*>(p);
  if (!self->mFilterChars) return;
  const size_t n = len < 0 ? std::strlen(text) : static_cast<size_t>(len);
  for (size_t i = 0; i < n; ++i) {
    // Any byte outside the set (every non-ASCII character among them) refuses the whole edit.
    if (text[i] == '\0' || !std::strchr(self->mAllowed.c_str(), text[i])) {
      g_signal_stop_emission_by_name(e, "insert-text");
      gtk_widget_error_bell(GTK_WIDGET(e));
      return;
    }
  }
}

void IGraphicsGtkView::onEntryActivate(GtkEntry*, gpointer p) { static_cast<IGraphicsGtkView*>(p)->CommitTextEntry(); }

gboolean IGraphicsGtkView::onEntryFocusOut(GtkWidget*, GdkEvent*, gpointer p) {
  static_cast<IGraphicsGtkView*>(p)->CommitTextEntry();
  return FALSE;
}

// Return applies the typed text (the entry's "activate"); Escape closes the field and keeps the
// value as it was.
gboolean IGraphicsGtkView::onEntryKeyPress(GtkWidget*, GdkEventKey* ev, gpointer p) {
  if (ev->keyval != GDK_KEY_Escape) return FALSE;
  static_cast<IGraphicsGtkView*>(p)->CancelTextEntry();
  return TRUE;
}

void IGraphicsGtkView::CancelTextEntry() {
  if (!mEntry) return;
  IControl* control = mEdControl;
  EndUserInput();
  // Whatever the plug-in shows around the field (a rename box) goes with it, at once.
  if (control && control->GetPlug()) control->GetPlug()->OnTextEntryCancelled(control->ParamIdx());
  if (mArea) gtk_widget_queue_draw(mArea);
}

void IGraphicsGtkView::CommitTextEntry() {
  if (!mEntry) return;
  std::string typed = gtk_entry_get_text(GTK_ENTRY(mEntry));
  IControl* control = mEdControl;
  IParam* param = mEdParam;
  // Close first: applying may redraw or open another prompt.
  EndUserInput();
  if (mGraphics && control) {
    if (param)
      mGraphics->SetFromStringAfterPrompt(control, param, typed.c_str());
    else
      control->TextFromTextEntry(typed.c_str());
  }
  if (mArea) gtk_widget_queue_draw(mArea);
}

void IGraphicsGtkView::EndUserInput() {
  if (!mEntry) return;
  GtkWidget* entry = mEntry;
  mEntry = nullptr;
  mEdControl = nullptr;
  mEdParam = nullptr;
  g_signal_handlers_disconnect_by_data(entry, this);
  gtk_widget_destroy(entry);
  if (mArea) gtk_widget_grab_focus(mArea);
}
