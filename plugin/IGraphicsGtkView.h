// The GTK view of IGraphicsGtk: a GtkFixed root holding the drawing area (the canvas) and, while
// a value is typed, a GtkEntry over the control. Owns its widgets and its repaint tick; made
// by IGraphicsGtk::OpenWindow and deleted by IGraphicsGtk::CloseWindow. Main thread only.
//
// Bound while mGraphics is set. Every event handler does nothing once unbound (the host may
// destroy the parent container first; the root's "destroy" then unbinds and closes).
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>
#include <vector>

#include "IGraphicsStructs.h"

class IGraphics;
class IControl;
class IParam;
class IPopupMenu;

class IGraphicsGtkView {
public:
  // The (sub)menu and index that the user chose; menu null when nothing was chosen.
  struct MenuChoice {
    IPopupMenu* menu = nullptr;
    int index = -1;
  };

  IGraphicsGtkView(IGraphics* graphics, GtkWidget* parent);
  ~IGraphicsGtkView();
  IGraphicsGtkView(const IGraphicsGtkView&) = delete;
  IGraphicsGtkView& operator=(const IGraphicsGtkView&) = delete;

  GtkWidget* GetRoot() const { return mRoot; }
  GtkWidget* GetDrawingArea() const { return mArea; }
  GtkWidget* GetTextEntry() const { return mEntry; }
  IGraphics* GetGraphics() const { return mGraphics; }
  // Canvas position of the last mouse event (keys go to the control there).
  int PrevX() const { return mPrevX; }
  int PrevY() const { return mPrevY; }

  // One repaint tick: asks the canvas for the dirty areas and has them redrawn and painted at
  // once; with nothing dirty, gives the canvas's idle work its turn. Returns whether the view is
  // busy: something was repainted, or the idle work has more to do.
  bool OnTimer();
  void KillTimer();
  // The tick runs at its resting rate (nothing was drawn and no input came for a while).
  bool Resting() const { return mTimerMs == restingMs(); }
  // The display's refresh interval as the frame clock knows it, in whole milliseconds: the tick's
  // period while the view is busy, and the least time between two ticks run by wakes.
  int FrameIntervalMs() const;
  // Unbinds and destroys the widgets (when the host has not already done so).
  void Unbind();

  // Copies the canvas rectangle of the draw bitmap into the screen copy (inside a draw handler);
  // the draw handler shows the copy once the canvas has drawn every area.
  bool DrawScreen(IRECT* rect);

  // Builds (without showing) the GTK menu for a model; choices land in *choice.
  static GtkWidget* BuildMenu(IPopupMenu* menu, MenuChoice* choice);
  // Shows the menu at the canvas rectangle and waits for the user; the chosen (sub)menu with
  // its chosen index set, or null.
  IPopupMenu* PopupMenu(IPopupMenu* menu, IRECT* rect);

  void CreateTextEntry(IControl* control, IParam* param, IText* text, const char* str, IRECT* rect);
  // Closes the text field without applying what was typed.
  void EndUserInput();
  // Applies the typed text, then closes the field (Return or focus loss).
  void CommitTextEntry();
  // Closes the field unapplied as the user's choice (Escape, a wheel turn) and tells the plug-in.
  void CancelTextEntry();

  // Characters the value field accepts for a parameter type (empty: none).
  static const char* AllowedCharacters(int paramType);
  // Key code of the framework for a GDK key value, or -1 when the key is not one of ours.
  static int KeyCodeFor(unsigned int keyval);
  // Modifiers of a button, motion or scroll event (button 3 events are right-button kinds).
  static IMouseMod ModFor(unsigned int state, bool rightButtonEvent);

  void SetCursorHidden(bool hidden);

private:
  static gboolean onDraw(GtkWidget* w, cairo_t* cr, gpointer self);
  static gboolean onButtonPress(GtkWidget* w, GdkEventButton* ev, gpointer self);
  static gboolean onButtonRelease(GtkWidget* w, GdkEventButton* ev, gpointer self);
  static gboolean onMotion(GtkWidget* w, GdkEventMotion* ev, gpointer self);
  static gboolean onScroll(GtkWidget* w, GdkEventScroll* ev, gpointer self);
  static gboolean onKeyPress(GtkWidget* w, GdkEventKey* ev, gpointer self);
  static gboolean onEnter(GtkWidget* w, GdkEventCrossing* ev, gpointer self);
  static bool IsArrowKey(unsigned int keyval);
  static gboolean onTimerCallback(gpointer self);
  static void onAreaRealize(GtkWidget* w, gpointer self);
  void startTimer(int ms);
  int restingMs() const;
  // Input came: the tick leaves its resting rate for the display's.
  void wake();
  // A main-loop source of the view's own for the graphics object's wakes (IGraphics::Dirtied):
  // ready while a wake is pending and the last tick it ran is a refresh interval old; it then
  // runs the tick.
  struct WakeSource {
    GSource source;
    IGraphicsGtkView* view;
  };
  static GSourceFuncs sWakeFuncs;
  // Whether a pending wake is due at `now` (the main loop's clock); else, with one pending, the
  // milliseconds until it is, in *timeout.
  bool wakeDue(gint64 now, gint* timeout) const;
  // Draws the areas (canvas coordinates, on the canvas) into the drawing area's window now; false
  // when the view is not on screen.
  bool paint(IRECTList* areas);
  void drawAreas(cairo_t* cr, IRECTList* areas);
  static void onRootDestroy(GtkWidget* w, gpointer self);
  static void onEntryInsert(GtkEditable* e, const gchar* text, gint len, gint* pos, gpointer self);
  static void onEntryActivate(GtkEntry* e, gpointer self);
  static gboolean onEntryFocusOut(GtkWidget* w, GdkEvent* ev, gpointer self);
  static gboolean onEntryKeyPress(GtkWidget* w, GdkEventKey* ev, gpointer self);

  // Every mouse handler records the position here first.
  void setMouse(double x, double y);
  bool isDoubleClick(const GdkEventButton* ev);

  IGraphics* mGraphics;
  GtkWidget* mRoot = nullptr;
  GtkWidget* mArea = nullptr;
  guint mTimer = 0;
  int mTimerMs = 0;
  GSource* mWakeSource = nullptr;
  gint64 mLastWakeUs = 0;  // the main loop's clock when the wake source last ran the tick
  int mQuietMs = 0;  // since the tick last found the view busy or input came
  int mPrevX = 0, mPrevY = 0;
  // Double-click detection of our own: GTK reports the second press before its 2BUTTON event;
  // the canvas must see a double click instead of a second press.
  guint32 mLastPressTime = 0;
  double mLastPressX = -1e9, mLastPressY = -1e9;
  bool mLastPressWasDouble = false;

  GtkWidget* mEntry = nullptr;
  GtkCssProvider* mEntryCss = nullptr;
  IControl* mEdControl = nullptr;
  IParam* mEdParam = nullptr;
  std::string mAllowed;
  bool mFilterChars = false;

  cairo_t* mCurrentCr = nullptr;        // set only inside onDraw
  cairo_surface_t* mScreen = nullptr;   // screen copy of the canvas (RGB24; shared with the display once realized)
  // In this draw handler: DrawScreen was called; the screen copy was made ready for writing.
  bool mScreenCopied = false, mScreenFlushed = false;
};
