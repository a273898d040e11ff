// Windows of the windowing layer: the HWND record, its message delivery, the window queries and
// geometry, focus, capture and modal loops.
//
// ---------------------------------------------------------------------------------------------
// For the standard controls (WINX_Controls*.cpp, menus, dialogs, list and tree views)
// ---------------------------------------------------------------------------------------------
// * Every window handle is a pointer to an HWND__ record. A window view (`WinxGtkWindowView`,
//   class tag WINX_CLASS_VIEW) is one kind; a control is another: derive a struct from HWND__,
//   give it a class tag of its own (WINX_CLASS_CONTROL_BASE + n), build its GtkWidget in your
//   creator and put it in `widget` holding a reference of its own (g_object_ref_sink; the base
//   releaseWidgets() destroys the widget and drops that reference), then call WINX_AttachChild(parent, ctrl) which registers
//   the record (so handles to it are checked), inserts it above its siblings and places its
//   widget in the parent's container at `frame`.
// * Override HWND__::handleMessage() for the control's messages (BM_*, CB_*, TBM_*, LVM_* ...).
//   SendMessage() reaches it only through WINX_DeliverMessage(), which refuses unregistered and
//   destroyed records, runs the WM_DESTROY sequence once and holds a reference for the call, so
//   a control may be destroyed from inside its own handler.
// * Override getText()/setText() when the text lives in the widget; the default keeps it in
//   m_titlestr. Override onFrameChanged() when a frame change needs more than the widget's
//   position and size request (done for you), and releaseWidgets() when you keep GTK objects
//   besides `widget` (call the base first or last, as you need).
// * Notify the parent with WINX_SendCommand(ctrl, code) (WM_COMMAND, (code << 16) | id, ctrl).
// * Top-level windows: WINX_MakeTopLevel(view, owner, kind) puts a view into a GtkWindow; it is
//   the base for the modeless windows and dialogs (WINX_CreateModelessFrameForWindow and the
//   dialog functions are yours). A top-level window has no handle of its own: its content view
//   stands for it (`toplevel` set), which is the "window -> content view" rule made permanent.
// * WINX_ModalWindowStart/Run/End and WINX_ModalStop run nested GLib main loops for dialogs.
// * Menus: HMENU is an opaque handle that the window stores (m_menu); the window owns the
//   menu it was given, and a top-level window shows it in its menu bar (WINX_MenuBar.cpp). WINX_SetMenuHook lets the menu code detach a menu the window drops, and
//   WINX_SetMenuReleaseHook lets it free the window's menu when the window is destroyed (a menu
//   replaced by SetMenu is only detached: it goes back to the caller, as on Win32).
//
// ---------------------------------------------------------------------------------------------
// Platform mapping (the Win32-on-desktop model on GTK 3)
// ---------------------------------------------------------------------------------------------
// * A window view is our own record wrapping a GtkFixed (`container`, the parent of the child
//   windows' widgets) whose bottom child is a GtkDrawingArea (`drawingArea`) that paints and
//   takes input; `widget` == `container` for a view.
// * Coordinates are top-left with y growing downward everywhere: view, client and screen
//   coordinates alike (no bottom-left flipping as on the Mac). `frame` is the record's rectangle
//   in its parent's client coordinates (a top-level view's: screen coordinates of its client
//   area). The record is the truth; GTK widgets follow it.
// * Painting: GTK's draw signal runs a paint pass into a backing canvas (WINX_Canvas, the
//   graphics library's pixel order) that the view keeps between passes; the finished pixels are
//   converted into a Cairo image and painted. Cairo never writes the canvas.
// * Without a display (gtk_init_check failing) records still work without widgets: messages,
//   properties, geometry and timers behave the same, and WINX_PaintView paints into any context.
// * Timers: g_timeout sources in the default main context; posted messages: a locked queue that
//   any thread fills and the main thread drains from an idle source; modal loops: nested
//   GMainLoops; processes: posix_spawn/waitpid; cursors: GdkCursor; key layout: the GDK keymap.
//
// Threads: everything here runs on the main thread (the thread that made the first window or
// called WINX_Internal_PostMessage_Init), except WINX_IsValidWindow and the posting and timer
// calls of WINX_Message.h, which any thread may make.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "WINX_Canvas.h"
#include "WINX_GDI.h"
#include "WINX_Types.h"

typedef struct _GtkWidget GtkWidget;
typedef union _GdkEvent GdkEvent;

typedef uint32_t UINT;
typedef uint32_t DWORD;
typedef uint64_t WPARAM;
typedef int64_t LPARAM;
typedef int64_t LRESULT;
typedef uintptr_t UINT_PTR;
typedef int BOOL;

struct HWND__;
typedef HWND__* HWND;
struct HMENU__;
typedef HMENU__* HMENU;

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef LRESULT (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// Messages this layer sends (Win32 numbers).
enum {
  WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_MOVE = 0x0003, WM_SIZE = 0x0005, WM_ACTIVATE = 0x0006,
  WM_PAINT = 0x000F, WM_CLOSE = 0x0010, WM_ERASEBKGND = 0x0014, WM_SHOWWINDOW = 0x0018,
  WM_SETCURSOR = 0x0020, WM_MOUSEACTIVATE = 0x0021, WM_GETMINMAXINFO = 0x0024, WM_DRAWITEM = 0x002B,
  WM_GETOBJECT = 0x003D, WM_NOTIFY = 0x004E, WM_CONTEXTMENU = 0x007B, WM_DISPLAYCHANGE = 0x007E,
  WM_NCCALCSIZE = 0x0083, WM_NCHITTEST = 0x0084, WM_NCPAINT = 0x0085,
  WM_NCMOUSEMOVE = 0x00A0, WM_NCLBUTTONDOWN = 0x00A1, WM_NCRBUTTONUP = 0x00A5,
  WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101, WM_INITDIALOG = 0x0110, WM_COMMAND = 0x0111,
  WM_TIMER = 0x0113, WM_HSCROLL = 0x0114, WM_INITMENUPOPUP = 0x0117, WM_GESTURE = 0x0119,
  WM_CTLCOLORBTN = 0x0135, WM_CTLCOLORDLG = 0x0136, WM_CTLCOLORSTATIC = 0x0138,
  WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202, WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205, WM_RBUTTONDBLCLK = 0x0206,
  WM_MBUTTONDOWN = 0x0207, WM_MBUTTONUP = 0x0208, WM_MBUTTONDBLCLK = 0x0209,
  WM_MOUSEWHEEL = 0x020A, WM_MOUSEHWHEEL = 0x020E, WM_CAPTURECHANGED = 0x0215, WM_DROPFILES = 0x0233,
};
// A window procedure's answer to WM_KEYDOWN/WM_KEYUP that lets the key pass on to the toolkit.
enum { WINX_KEY_PASS_ON = 69 };
// A dialog procedure's answer to WM_INITDIALOG that gives the dialog view itself the focus.
enum { WINX_INITDIALOG_FOCUS_SELF = 0xBEEF };
enum { SW_HIDE = 0, SW_SHOWNA = 1, SW_SHOW = 2, SW_SHOWMINIMIZED = 3 };
enum { SWP_NOMOVE = 0x1, SWP_NOSIZE = 0x2, SWP_NOZORDER = 0x4 };
enum { GW_HWNDFIRST = 0, GW_HWNDLAST = 1, GW_HWNDNEXT = 2, GW_HWNDPREV = 3, GW_OWNER = 4, GW_CHILD = 5 };
enum { GWL_USERDATA = -21, GWL_EXSTYLE = -20, GWL_STYLE = -16, GWL_ID = -12, DWL_DLGPROC = -8, GWL_WNDPROC = -4 };
enum { WS_CHILD = 0x40000000, WS_CAPTION = 0xC00000, WS_THICKFRAME = 0x40000, WS_GROUP = 0x20000 };

// One window property; newest first. A name below 0x10000 is an atom kept in the pointer.
struct WindowPropRec {
  const char* name;
  void* data;
  WindowPropRec* next;
};

// Class tags. The standard controls number their classes from WINX_CLASS_CONTROL_BASE.
enum { WINX_CLASS_VIEW = 1, WINX_CLASS_CONTROL_BASE = 16 };

// The record behind every window handle. Made on the main thread, registered while alive (see
// WINX_IsValidWindow), reference counted: the parent (or, for a parentless window, the layer's
// list of top-level windows) holds one reference, and message delivery holds one for the call.
// The record is freed when the last reference goes; it is unregistered as soon as WM_DESTROY has
// run, so every entry point refuses it from then on.
struct HWND__ {
  explicit HWND__(int classTag);
  virtual ~HWND__();
  HWND__(const HWND__&) = delete;
  HWND__& operator=(const HWND__&) = delete;

  const int classTag;
  const uint64_t serial;             // unique, never reused: posted messages carry it
  int refCount = 1;
  // 0 alive; 1 while WM_DESTROY is handled; 2 destroyed. Atomic: posting threads read it.
  std::atomic<uint8_t> m_hashaddestroy{0};

  // Win32 record.
  uint8_t m_enabled = 1;
  DLGPROC m_dlgproc = nullptr;
  WNDPROC m_wndproc = nullptr;
  int64_t m_userdata = 0;
  int64_t m_extradata[32] = {};
  int64_t m_tag = 0;
  int32_t m_isfakerightmouse = 0;
  HMENU m_menu = nullptr;
  uint8_t m_flip = 1;
  bool m_supports_ddrop = false;
  bool m_paintctx_used = false;
  HDC m_paintctx_hdc = nullptr;
  WindowPropRec* m_props = nullptr;
  double m_paintctx_rect[4] = {};    // x, y, width, height
  uint8_t m_isopaque = 1;
  char m_titlestr[1024] = {};
  uint32_t m_create_windowflags = 0;
  uint8_t m_isdirty = 3;             // bit 0 repaint whole view; bit 1 children changed
  HWND__* m_lastTopLevelOwner = nullptr;  // not referenced; compared only
  void* m_glctx = nullptr;           // the view's OpenGL state, or null (WINX_HostedView.h)
  int32_t m_style = 0;
  bool m_hasStyle = false;           // m_style is the record's own (else derived)

  // Tree and geometry (main thread).
  HWND__* parent = nullptr;
  std::vector<HWND__*> children;     // back to front; holds a reference to each
  RECT frame = {0, 0, 300, 200};
  bool hidden = true;
  HWND__* owner = nullptr;           // top-level: the owner's content view (not referenced)

  // GTK side; all null without a display.
  GtkWidget* widget = nullptr;       // outermost widget, placed in the parent's container
  GtkWidget* container = nullptr;    // GtkFixed holding the children's widgets (views only)
  GtkWidget* drawingArea = nullptr;  // views only
  GtkWidget* toplevel = nullptr;     // GtkWindow when this record is a window's content view

  // Backing pixels of a view between paint passes (graphics-library pixel order).
  std::vector<uint32_t> backing;
  int backingW = 0, backingH = 0;

  bool isWindowView() const { return classTag == WINX_CLASS_VIEW; }
  bool isTopLevel() const { return toplevel != nullptr || (parent == nullptr); }

  // The class's own message handler, called by WINX_DeliverMessage for a live record. The
  // window view calls its window procedure; controls override.
  virtual LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  virtual const char* getText();
  virtual void setText(const char* text);
  virtual void setEnabled(bool enabled) { m_enabled = enabled ? 1 : 0; }
  // SetWindowLong(GWL_STYLE) of a child record. The base keeps the word; a control whose kind
  // lives in the style bits (a button) overrides it to become that kind.
  virtual void setStyle(int32_t style) {
    m_style = style;
    m_hasStyle = true;
  }
  // Whether the record can take the keyboard focus (a dialog's first focus candidate); labels
  // and group boxes answer false.
  virtual bool acceptsFirstResponder() const { return m_enabled != 0; }
  virtual void onFrameChanged() {}
  // Drops the GTK objects of this record only (children release their own). Called once the
  // record is destroyed or freed; the widget may already be gone with its parent's.
  virtual void releaseWidgets();
};

// The window view: the record with a window procedure and a drawing area.
struct WinxGtkWindowView : HWND__ {
  WinxGtkWindowView() : HWND__(WINX_CLASS_VIEW) {}
  LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

// Creation record of a view made from a dialog template; the control creators fill the rest.
struct WINX_DialogResourceIndex {
  const char* resid;
  const char* title;
  int flags;                 // 0x4 flipped, 0x10 opaque, 0x20 accepts dropped files
  void (*creator)(HWND, int);
  int width, height;
};

// --- record checks ---------------------------------------------------------------------------
// The live record a handle names, or null (null, values below 5, unknown or destroyed records).
// Safe from any thread for the check itself; the record may only be used on the main thread.
HWND__* WINX_ValidWindow(HWND hwnd);
bool WINX_IsValidWindow(HWND hwnd, uint64_t serial);
// Any thread: true with the record's serial when hwnd is live and not being destroyed.
bool WINX_PostableWindow(HWND hwnd, uint64_t* serial);
void WINX_RetainWindow(HWND__* w);
void WINX_ReleaseWindow(HWND__* w);
int WINX_LiveWindowCount();

// --- creation and destruction ------------------------------------------------------------------
// A new window view under parent (null: top-level candidate, hidden, without a GtkWindow until
// WINX_MakeTopLevel). Without a record: WM_CREATE(0, param) goes to proc; with one, the record's
// creator runs and WM_INITDIALOG goes to the dialog procedure. Main thread only.
HWND WINX_CreateWindowView(const WINX_DialogResourceIndex* res, HWND parent, DLGPROC proc, LPARAM param);
// Registers a control record made by a control creator and puts it above parent's children.
// The parent takes the creator's reference. False (and the record freed) for a bad parent.
bool WINX_AttachChild(HWND parent, HWND__* child);
// Puts a parentless view into a new GtkWindow (kind: 0 borderless, 1 titled, 15 resizable).
bool WINX_MakeTopLevel(HWND view, HWND owner, unsigned kind);
void DestroyWindow(HWND hwnd);
int IsWindow(HWND hwnd);

// --- messages ----------------------------------------------------------------------------------
// The single road of a message into a record (the view's onWinxMessage). 0 for a bad handle.
LRESULT WINX_DeliverMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT WinxDialogDefaultWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT WINX_SendCommand(HWND control, int code);
// Applies a dialog procedure's colours to the children (a control creator may replace the
// hook; without one nothing happens).
void WINX_DoDialogColorUpdates(HWND hwnd, DLGPROC proc, bool isUpdate);
void WINX_SetDialogColorHook(void (*hook)(HWND, DLGPROC, bool));
// Called with (menu, null) when a window drops its menu.
void WINX_SetMenuHook(void (*setMenuDestination)(HMENU, HWND));
// Called with the window's menu after it was detached during WM_DESTROY: the menu's owner is
// gone, so the hook frees it (and stops it being the application's main menu).
void WINX_SetMenuReleaseHook(void (*releaseMenu)(HMENU));

// Accessibility: a window procedure may supply an object (an AtkObject*) that stands for what
// it draws. The layer asks with WM_GETOBJECT, wParam WINX_OBJID_SELF and lParam pointing to a
// void* slot, initially null, that the procedure fills; the procedure keeps owning the object.
// The view's container lists the object after its child widgets in the accessibility tree.
enum { WINX_OBJID_SELF = 0x1001 };
// The object the view's procedure supplies now; null for a bad or dying view or no answer.
void* WINX_GetViewAccessibleObject(HWND hwnd);

// --- record accessors --------------------------------------------------------------------------
int64_t WINX_GetExtraData(HWND hwnd, int offset);
void WINX_SetExtraData(HWND hwnd, int offset, int64_t value);
void WINX_SetWindowText(HWND hwnd, const char* text);  // at most 1023 bytes kept
void WINX_SetMenu(HWND hwnd, HMENU menu);
HMENU WINX_GetMenu(HWND hwnd);
void WINX_SetExtendedStyle(HWND hwnd, int style);
int WINX_GetExtendedStyle(HWND hwnd);

// --- properties --------------------------------------------------------------------------------
bool WINX_SetProp(HWND hwnd, const char* name, void* data);
void* WINX_GetProp(HWND hwnd, const char* name, bool remove);
typedef BOOL (*PROPENUMPROCEX)(HWND, const char*, void*, LPARAM);
int WINX_EnumProps(HWND hwnd, PROPENUMPROCEX proc, LPARAM lParam);

// --- window queries ----------------------------------------------------------------------------
HWND GetFocus();
// Records that hwnd took the keyboard focus (the GTK focus-in handlers of views and controls).
void WINX_NoteFocus(HWND hwnd);
HWND GetParent(HWND hwnd);
HWND GetDlgItem(HWND hwnd, int id);
int64_t SetWindowLong(HWND hwnd, int index, int64_t value);
int64_t GetWindowLong(HWND hwnd, int index);
bool IsWindowVisible(HWND hwnd);
int GetDlgItemText(HWND hwnd, int id, char* buf, int size);
int SetDlgItemText(HWND hwnd, int id, const char* text);
void ShowWindow(HWND hwnd, int command);
void CenterWindow(HWND hwnd);

// --- geometry, focus, capture (main thread) ----------------------------------------------------
int IsChild(HWND parent, HWND child);
void SetFocus(HWND hwnd);
void SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
void EnableWindow(HWND hwnd, int enable);
void WINX_GetViewPort(RECT* out, const RECT* source, bool work);
void ClientToScreen(HWND hwnd, POINT* pt);
void ScreenToClient(HWND hwnd, POINT* pt);
bool GetWindowRect(HWND hwnd, RECT* r);
bool GetWindowContentViewRect(HWND hwnd, RECT* r);
void GetClientRect(HWND hwnd, RECT* r);
void SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, int flags);
HWND GetCapture();
HWND SetCapture(HWND hwnd);
void ReleaseCapture();
HWND GetWindow(HWND hwnd, int cmd);
HWND SetParent(HWND hwnd, HWND parent);
void CheckDlgButton(HWND dlg, int id, int state);
int IsDlgButtonChecked(HWND dlg, int id);
void SetDlgItemInt(HWND dlg, int id, int value, int isSigned);
int GetDlgItemInt(HWND dlg, int id, BOOL* translated, int isSigned);
void InvalidateRect(HWND hwnd, const RECT* r, int erase);
void UpdateWindow(HWND hwnd);
HWND WindowFromPoint(POINT pt);
// Offers a mouse event of one of our top-level windows (left or right button press or release,
// motion) to its views' non-client areas: the outermost view from the one under the point up to
// the content view whose WM_NCHITTEST answers above 1 receives it as a mouse message. True when
// one took it; false while a view holds the capture.
bool WINX_HandleMouseEvent(const GdkEvent* event);
// 1 when a and b are the same window, or one is a text field and the other the text view that
// edits it (three levels below the field); else 0, and 0 for a null window.
int IsEquivalentTextView(HWND a, HWND b);
typedef BOOL (*WNDENUMPROC)(HWND, LPARAM);
int EnumChildWindows(HWND hwnd, WNDENUMPROC proc, LPARAM lParam);
void SetOpaque(HWND hwnd, bool opaque);
void WINX_CloseWindow(HWND hwnd);
void WINX_BroadcastMessage(UINT msg, WPARAM wParam, LPARAM lParam);

// Window decoration and application calls (act on the top-level window of a view).
void WINX_HideApp();                                // hides every top-level window
int WINX_SetWindowLevel(HWND hwnd, int level);      // > 0 keeps the window above others; old level
void SetTransparent(HWND hwnd);                     // the window's background becomes see-through
void WINX_SetWindowShadow(HWND hwnd, bool shadow);  // window managers draw shadows; recorded only
// Marks the title as edited ("*" prefix) unless the view has the property
// "WINX_DisableWindowRepre"; the file name is shown as the window's title when given.
void WINX_SetWindowRepre(HWND hwnd, const char* filename, bool edited);
void WINX_FlushWindow(HWND hwnd);
// No dock or menu bar to hide on this platform: always false.
bool WINX_SetAppAutoHideMenuAndDock(int mode);

// Modal sessions on nested main loops. Run iterates the main context once and returns true
// while the session continues (no WINX_ModalStop yet), else stores the code and returns false.
struct WINX_ModalSession;
WINX_ModalSession* WINX_ModalWindowStart(HWND hwnd);
bool WINX_ModalWindowRun(WINX_ModalSession* s, int* result);
void WINX_ModalWindowEnd(WINX_ModalSession* s);
// Ends the innermost running session of hwnd's top-level window with code (EndDialog's road).
void WINX_ModalStop(HWND hwnd, int code);
// Runs the session's nested loop until WINX_ModalStop; returns the code.
int WINX_ModalWindowRunUntilStopped(WINX_ModalSession* s);
bool WINX_IsModalRunning();

// --- painting and input (WINX_Paint.cpp) ------------------------------------------------------
struct PAINTSTRUCT {
  HDC hdc;
  int32_t fErase;
  RECT rcPaint;
};
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
int EndPaint(HWND hwnd, PAINTSTRUCT* ps);
// One paint pass of one view into hdc over rect (view coordinates): WM_NCCALCSIZE, WM_NCPAINT,
// WM_PAINT. Usable without a display (tests, off-screen rendering).
void WINX_PaintView(HWND hwnd, HDC hdc, const RECT* rect);
HDC GetDC(HWND hwnd);
HDC GetWindowDC(HWND hwnd);
void ReleaseDC(HWND hwnd, HDC hdc);
// Mouse message delivery with capture, hit test and cursor rules. x, y: view coordinates;
// wheelDelta: the wheel step for the wheel messages (1.0 = one notch). -1 when undelivered.
LRESULT WINX_SendMouseMessage(HWND hwnd, UINT msg, int x, int y, double wheelDelta);
// Delivers a key to the view: true when consumed (the procedure did not answer 69).
bool WINX_SendKeyMessage(HWND hwnd, UINT msg, int vk, int flags);

// Trackpad gestures (GDK touchpad pinch and swipe events): each becomes a begin record (flags 1)
// and an end record (flags 4) sent as WM_GESTURE; lParam points to the record, the end message's
// wParam is its argument. Location: screen coordinates (top-left origin, y downward).
struct GESTUREINFO {
  uint32_t cbSize;
  uint32_t dwFlags;   // 1 begin, 4 end
  uint32_t dwID;      // 3 zoom, 4 pan, 5 rotate
  HWND hwndTarget;
  int16_t x, y;
  uint32_t dwInstanceID;
  uint32_t dwSequenceID;
  uint64_t ullArguments;
  uint32_t cbExtraArgs;
};
enum { GID_ZOOM = 3, GID_PAN = 4, GID_ROTATE = 5, GF_BEGIN = 1, GF_END = 4 };
int WINX_GetGestureInfo(LPARAM lParam, GESTUREINFO* out);
// End arguments: zoom 1024 + the scaled delta (never 0, held within 512..2048); rotation
// 32767 + the scaled angle in degrees (never 0, held within 0..65535).
uint64_t WINX_GestureZoomArgument(float magnification);
uint64_t WINX_GestureRotateArgument(float degrees);
// Sends the begin and end records of one gesture; (endX, endY) is the end location.
void WINX_SendGesture(HWND hwnd, uint32_t id, uint64_t endArgument, int x, int y, int endX, int endY);

// Internal glue shared by the window files.
namespace winx_internal {
void createViewWidgets(HWND__* v);
GtkWidget* newViewContainer(HWND__* v);  // the view's GtkFixed, with its accessible
void placeWidget(HWND__* w);          // frame -> GTK position and size
void restackWidgets(HWND__* parent);  // children order -> GTK order
void updateVisibility(HWND__* w);
void queueRedraw(HWND__* w, const RECT* r);
bool gtkAvailable();
void killAllTimers(HWND__* w);
void clearPosted(HWND__* w);
HWND__* captureHolder();
std::vector<HWND__*> topLevelWindows();  // front to back as far as known; not referenced
void detachTopLevel(HWND__* w);         // drops the top-level list's reference
void noteMouse(HWND__* w, int screenX, int screenY);
void dropCaptureIfHeld(HWND__* w);
// Top-level windows' menu bars (WINX_MenuBar.cpp): the box a new GtkWindow holds (the hidden
// bar above, the view's widget to be packed below), the bar's height while it shows (0
// otherwise), and bringing the bar in line with the window's menu.
GtkWidget* newTopLevelBox(GtkWidget* window, HWND__* top);
int menuBarHeight(HWND__* top);
void syncMenuBar(HWND__* top);
}  // namespace winx_internal
