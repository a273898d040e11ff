// The editor window's canvas and controller.
//
// IGraphics owns every control and layer attached to it, composes the window in an off-screen
// draw bitmap, reports the dirty area, repaints it, routes mouse, wheel and keys to the control
// under the pointer and pushes parameter values from the plug-in to the controls. The platform
// operations (window, screen copy, menus, text entry, dialogs, resource loading) are virtual and
// implemented by a platform binding (IGraphicsGtk on Linux); the base's own versions are those
// of a headless canvas.
//
// Ownership: the control list, the layer list, the key catcher and both bitmaps are owned and
// deleted with the object; the plug-in is not. Once IPluginBase::AttachGraphics has run, the
// plug-in base owns this object and deletes it. Destroying it drops its holds on cached images;
// pixels that no other editor instance holds are freed then.
//
// Threads: everything runs on the GUI (main) thread except SetParameterFromPlug, which the
// host, render, MIDI and worker threads also call; it writes control values and dirty flags
// that the GUI thread reads at its next timer tick. The process-wide bitmap and font caches
// have their locks; the only other one is the parameter index's rebuild lock below.
//
// Parameter index: SetParameterFromPlug reaches the controls of one parameter through an index
// (parameter -> controls, in the order a full walk of the control list and then of every layer
// depth-first would visit them) instead of walking all controls. Every change to the tree made
// through the child lists (GUI_ChildList) or AddAuxParam bumps this object's layout stamp; the
// next push sees the stamp moved and rebuilds the index under its lock. Hazard: the tree must
// not change while another thread is pushing (it never could: the old walk read the same lists),
// and a control's SetValueFromPlug must not change the tree.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ControlLayer.h"
#include "IGraphicsStructs.h"
#include "UTIL_PtrList.h"
#include "UTIL_String.h"

class IPluginBase;
class IControl;
class IParam;
class ControlLayer;
class IPopupMenu;
class IBitmapControl;
class GFX_IBitmap;
class GFX_IFont;
class UTIL_Mutex;

class IGraphics {
public:
  static constexpr int kDefaultFPS = 25;
  // Resource files at or above this size are refused (they are never legitimately that big).
  static constexpr int kMaxLoadFileSize = 4096000;

  explicit IGraphics(IPluginBase* plug = nullptr, int w = 0, int h = 0, int fps = 0);
  virtual ~IGraphics();
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // ---- platform operations (virtual slot order of the framework) ----
  // The base class is headless: it composes into its draw bitmap and has no window, so these
  // defaults answer "nothing shown / nothing chosen". A platform binding (IGraphicsGtk)
  // overrides them; tests and benchmarks use the base as it is.
  virtual bool DrawScreen(IRECT* rect) {
    (void)rect;
    return true;
  }
  virtual bool MeasureIText(IText* text, const char* str, IRECT* destRect);
  virtual void ForceEndUserEdit() {}
  virtual void Resize(int w, int h);
  virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
  virtual const char* GetGUIAPI() { return ""; }
  // Modal; returns 1 (OK/Yes), 7 (No), 2 (Cancel) or 0.
  virtual int ShowMessageBox(const char* text, const char* caption, int type);
  // Shows the menu modally; returns the (sub)menu in which an item was chosen, its chosen index
  // set, or null when nothing was chosen.
  virtual IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* rect);
  virtual void CreateTextEntry(IControl* control, IText* text, IRECT* rect, const char* str, IParam* param);
  virtual void HostPath(UTIL_String* path) { (void)path; }
  virtual void PluginPath(UTIL_String* path) { (void)path; }
  virtual void DesktopPath(UTIL_String* path) { (void)path; }
  // Without a window the file name is emptied (nothing chosen).
  virtual void PromptForFile(UTIL_String* file, EFileAction action, UTIL_String* dir, char* extensions);
  virtual bool PromptForColor(IColor* color, char* prompt);
  virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
                       const char* errMsgOnFailure = nullptr);
  virtual void* OpenWindow(void* parent);
  virtual void* OpenWindow(void* window, void* control, short leftOffset, short topOffset);
  virtual void AttachSubWindow(void* window) { (void)window; }
  virtual void RemoveSubWindow() {}
  virtual void CloseWindow() {}
  virtual void* GetWindow() { return nullptr; }
  // Whole resource file in a new buffer (owned by the caller: delete[]), NUL-terminated; the
  // byte count is GetLastLoadedFileSize(). Null on failure.
  virtual char* OSLoadFile(int ID, const char* name);
  virtual void HideMouseCursor() {}
  virtual void ShowMouseCursor() {}
  // Image resource as a new bitmap owned by the caller, or null.
  virtual GFX_IBitmap* OSLoadBitmap(int ID, const char* name);
  // The PNG file OSLoadBitmap would decode for this image, or "" when there is none to name.
  // With a file, LoadIBitmap reads only its header and decodes the pixels (with GFX_LoadPNG)
  // when they are first drawn: images of pages never shown cost no memory. A binding whose
  // OSLoadBitmap does more than decode that file must return "".
  virtual std::string OSBitmapFile(int ID, const char* name);
  // Ends the loops of the popups, menus and dialogs that run now (innermost last in loops, as
  // BeginModal named them), as the user's cancel would.
  virtual void EndModalLoops(const std::vector<void*>& loops) { (void)loops; }
  // Runs del once the calls around the ended loops have returned to the thread's main loop; the
  // base has no loop of its own and runs it at once.
  virtual void DeleteWhenUnwound(std::function<void()> del) { del(); }
  // Loads the system's font configuration on a helper thread, so that the first text drawn
  // need not wait for it. Any number of calls; the work is done once.
  static void PrepareFontsAhead();
  // Where there are cores to spare: makes these text styles' fonts and draws letters, digits and
  // common signs in each on a helper thread, into text machinery of its own that the calling
  // thread takes over at its first DecodeShownImagesAhead. Not started by then, it is dropped;
  // running, it stops after the style in hand and is waited for. The first texts drawn in those
  // styles then find their fonts made and most of their glyphs drawn. Nothing for a thread that
  // has drawn text already.
  static void PrepareTextAhead(const std::vector<IText>& styles);
  // Starts decoding an image on a helper thread ahead of its first draw (a background that is
  // always shown, say); the draw then waits for that decode instead of doing its own. Nothing
  // for an image already decoded or not decoded from a file.
  void DecodeAhead(IBitmap* bitmap);
  // The same for several, the largest first.
  void DecodeAhead(std::vector<IBitmap> bitmaps);
  // The images the controls of a layer draw (hidden ones too: a page not shown yet may show
  // them), with those of every layer below it when `descendants`.
  std::vector<IBitmap> ImagesOf(ControlLayer* layer, bool descendants);
  // Decodes these images on helper threads once this canvas has drawn its first page, the
  // largest first, each started only while nothing is being drawn and nothing drawn waits for
  // a decode: the pages the user is yet to visit are ready by the time they are visited.
  void DecodeAfterFirstDraw(std::vector<IBitmap> images);
  // The same for every image the next whole-window draw will show, found by a dry run of that
  // draw, which then also makes the fonts its texts ask for. Call once the shown pages are set,
  // before the first paint; again after showing more costs only the walk.
  void DecodeShownImagesAhead();
  // Pixel bytes of the images in the process-wide cache that have been decoded so far.
  static size_t DecodedBitmapBytes();
  // How many jobs of the helper threads (decodes and the rest of the work ahead) are queued or
  // running.
  static size_t WorkAhead();
  // Fully opaque images (decoded from their files) drawn with source alpha at full weight are
  // copied, which gives the same pixels; off only to compare both roads.
  static void SetOpaqueImageCopies(bool on);
  // What decodes an image file when its pixels are first asked for (GFX_LoadPNG when null): a
  // test holds a decode with its own.
  static void SetImageDecoder(GFX_IBitmap* (*decode)(const char* path));

  // ---- construction and attachment ----
  virtual void PrepDraw();
  void AttachBackground(int ID, const char* name, double scale = 1.0);
  void AttachPanelBackground(const IColor* color);
  int AttachControl(IControl* control);
  int AttachLayer(ControlLayer* layer);
  void AttachKeyCatcher(IControl* control);

  // ---- values between the plug-in and the controls ----
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized);
  void SetControlFromPlug(int controlIdx, double normalizedValue);
  void SetParameterFromGUI(int paramIdx, double normalizedValue);
  void HideControl(int paramIdx, bool hide);
  void GrayOutControl(int paramIdx, bool gray);
  void ClampControl(int paramIdx, double lo, double hi, bool normalized);
  void SetAllControlsDirty();
  void OnGUIIdle();
  void PromptUserInput(IControl* control, IParam* param, IRECT* rect);
  void SetFromStringAfterPrompt(IControl* control, IParam* param, const char* text);

  // ---- repaint ----
  bool IsDirty(IRECT* rect);
  // The dirty areas kept apart (added to `list`); the view repaints each with Draw. Same controls
  // as IsDirty(IRECT*), which gives their union.
  bool IsDirty(IRECTList* list);
  bool Draw(IRECT* rect);
  // Each area in turn, as Draw(IRECT*) draws one; controls are marked clean once, after the
  // last, so a control's second repaint (the tick after a change) is not used up by the first
  // areas of the same pass.
  bool Draw(IRECTList* areas);
  void SetStrictDrawing(bool strict);
  // Work done on the drawing thread while nothing waits to be repainted (laying out ahead what
  // the user is likely to ask for next), one short slice per call: each piece returns true while
  // it has more. The view calls RunIdleWork from its timer when nothing is dirty; the result tells
  // whether any piece has more. A piece is removed by its owner (its destructor) and may be
  // replaced by adding another under the same owner.
  void AddIdleWork(const void* owner, std::function<bool()> work);
  void RemoveIdleWork(const void* owner);
  bool RunIdleWork();

  // ---- the window's thread ----
  // Layers, menus and what a control shows beyond its value and dirty flag belong to the thread
  // of the open window, which draws them without a lock. Another thread (MIDI input, the
  // sender's jobs) hands such a change over here: it runs at once when no window is open, or when
  // the caller is the window's thread and no popup or dialog of the window runs; otherwise it is
  // queued, and the view runs the queue at the start of its next tick. Whether queued or at once,
  // it runs under the plug-in's lock. Handing over waits for no lock but the queue's unless it
  // runs at once. (owner, what) names the change: a newer one replaces the one queued under the
  // same name and goes to the back of the queue, so a flood keeps one of each; one run at once
  // drops it.
  void RunOnWindowThread(const void* owner, int what, std::function<void()> work);
  // The queue, in order, under the plug-in's lock (nothing while a popup or dialog runs); true
  // when anything ran.
  bool RunWindowWork();
  // Forgets what an owner queued (null: everything). An owner calls it before anything its work
  // reaches goes.
  void DropWindowWork(const void* owner);
  // The platform binding, on the window's thread: a window was opened there (once work running
  // at once elsewhere has ended), or was closed (then the queue runs; closed under a popup or
  // dialog, as soon as that ends).
  void SetWindowThread(bool open);
  // Around a popup menu or a modal dialog of the window: meanwhile no input reaches the canvas,
  // no other popup opens and the queue waits. Window's thread only. loop names what runs the
  // loop for the binding (its EndModalLoops). EndModal returns true when the window closed
  // meanwhile (its queue has run then, and what the popup showed may be gone) or the plug-in is
  // going (DeleteAfterModal): nothing is to be made of the answer.
  void BeginModal(void* loop = nullptr);
  bool EndModal();
  bool InModal() const { return mModalDepth > 0; }

  // ---- waking the window ----
  // A control marked dirty on another thread while a window is open (a value from the synth, a
  // job's text) wakes the window, which then draws it at its next frame instead of at the next
  // turn of its resting tick; so does work handed over to it. One wake is pending at a time: the
  // window takes it (TakeWake) at the start of each tick, before it looks for what is dirty, so a
  // mark after that wakes it again. A thread holding a WakeBatch wakes the window once, at the
  // batch's end, for all it marked meanwhile: the window draws a whole message from the synth,
  // not half of one.
  void Dirtied();  // IControl's dirty marks, any thread
  bool WakePending() const { return mWakePending.load(); }
  void TakeWake() { mWakePending.exchange(false); }
  class WakeBatch {
  public:
    WakeBatch();
    ~WakeBatch();
    WakeBatch(const WakeBatch&) = delete;
    WakeBatch& operator=(const WakeBatch&) = delete;
  };
  // The owner of the plug-in deletes it with del. Called on the thread of a popup, menu or
  // dialog of this window that runs its loop (a host closing the project from inside it), that
  // would free what the calls around the loop still use: the loops are ended instead, nothing
  // opens any more, and del runs once they have returned and those calls have unwound
  // (DeleteWhenUnwound). True then; false when no loop runs on this thread (delete at once).
  bool DeleteAfterModal(std::function<void()> del);
  bool Going() const { return mGoing; }

  // ---- input (canvas coordinates) ----
  void OnMouseDown(int x, int y, IMouseMod* mod);
  void OnMouseUp(int x, int y, IMouseMod* mod);
  void OnMouseDrag(int x, int y, IMouseMod* mod);
  bool OnMouseDblClick(int x, int y, IMouseMod* mod);
  void OnMouseWheel(int x, int y, IMouseMod* mod, int d);
  bool OnMouseOver(int x, int y, IMouseMod* mod);
  void OnMouseOut();
  bool OnKeyDown(int x, int y, int key);
  void ReleaseMouseCapture();
  IControl* GetMouseControlIdx(int x, int y, bool mouseOver = false);
  int GetParamIdxForPTAutomation(int x, int y);
  int GetLastClickedParamForPTAutomation();

  // ---- resources ----
  char* LoadFile(int ID, const char* name) { return OSLoadFile(ID, name); }
  int GetLastLoadedFileSize() const { return mLastLoadedFileSize; }

  // ---- bitmaps (process-wide cache keyed by id and scale, shared by every instance) ----
  // A missing image yields an empty bitmap (null pixels), which every drawing call skips.
  IBitmap LoadIBitmap(int ID, const char* name, double scale = 1.0, int nStates = 1, bool framesAreHoriz = false);
  IBitmap getImageById(int ID, int nStates = 1, bool framesAreHoriz = false);
  // Drops this instance's reference; the pixels are deleted when no instance holds them.
  void ReleaseBitmap(IBitmap* bitmap);
  void RetainBitmap(IBitmap* bitmap);
  IBitmap ScaleBitmap(IBitmap* src, int destW, int destH);
  IBitmap CropBitmap(IBitmap* src, IRECT* rect);

  // ---- drawing (into the draw bitmap, clipped to the draw rectangle) ----
  bool DrawBitmap(IBitmap* bitmap, IRECT* dest, int srcX, int srcY, const IChannelBlend* blend = nullptr);
  bool DrawBitmap(IBitmap* bitmap, IRECT* dest, int bmState = 1, const IChannelBlend* blend = nullptr);
  bool DrawBitmap(IBitmap* bitmap, IRECT* dest, int bmState, int srcX, int srcY, const IChannelBlend* blend);
  bool DrawRotatedBitmap(IBitmap* bitmap, int destCtrX, int destCtrY, double angle, int yOffsetZeroDeg = 0,
                         const IChannelBlend* blend = nullptr);
  bool DrawRotatedMask(IBitmap* base, IBitmap* mask, IBitmap* top, int x, int y, double angle,
                       const IChannelBlend* blend = nullptr);
  bool FillIRect(const IColor* color, IRECT* rect, const IChannelBlend* blend = nullptr);
  bool DrawIText(IText* text, const char* str, IRECT* rect, bool measure = false);
  GFX_IFont* CacheFont(IText* text);
  bool DrawPoint(const IColor* color, float x, float y, const IChannelBlend* blend = nullptr, bool antiAlias = false);
  bool ForcePixel(const IColor* color, int x, int y);
  bool DrawLine(const IColor* color, float x1, float y1, float x2, float y2, const IChannelBlend* blend = nullptr,
                bool antiAlias = false);
  bool DrawRect(const IColor* color, IRECT* rect);
  bool DrawVerticalLine(const IColor* color, int xi, int yLo, int yHi);
  bool DrawHorizontalLine(const IColor* color, int yi, int xLo, int xHi);
  // A line across the rectangle at a fraction (held to 0..1) of its width from the left, or of
  // its height from the bottom.
  bool DrawVerticalLine(const IColor* color, IRECT* rect, float x);
  bool DrawHorizontalLine(const IColor* color, IRECT* rect, float y);
  // Angles in radians, clockwise from 12 o'clock (x by sine, y by minus cosine).
  bool DrawArc(const IColor* color, float cx, float cy, float r, float minAngle, float maxAngle,
               const IChannelBlend* blend = nullptr, bool antiAlias = false);
  bool DrawCircle(const IColor* color, float cx, float cy, float r, const IChannelBlend* blend = nullptr,
                  bool antiAlias = false);
  bool DrawRadialLine(const IColor* color, float cx, float cy, float angle, float rMin, float rMax,
                      const IChannelBlend* blend = nullptr, bool antiAlias = false);
  bool RoundRect(const IColor* color, IRECT* rect, const IChannelBlend* blend, int cornerRadius, bool antiAlias);
  bool FillRoundRect(const IColor* color, IRECT* rect, const IChannelBlend* blend, int cornerRadius, bool antiAlias);
  bool FillCircle(const IColor* color, int cx, int cy, float r, const IChannelBlend* blend = nullptr,
                  bool antiAlias = false);
  bool FillTriangle(const IColor* color, int x1, int y1, int x2, int y2, int x3, int y3, IChannelBlend* blend);
  bool FillIConvexPolygon(const IColor* color, int* x, int* y, int npoints, const IChannelBlend* blend);
  IColor GetPoint(int x, int y);
  GFX_IBitmap* GetDrawBitmap() const { return mDrawBitmap; }
  void* GetBits();

  // ---- accessors ----
  IPluginBase* GetPlug() const { return mPlug; }
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  int NControls() const { return mControls.GetSize(); }
  IControl* GetControl(int idx) const { return mControls.Get(idx); }
  int NLayers() const { return mLayers.GetSize(); }
  ControlLayer* GetLayer(int idx) const { return mLayers.Get(idx); }
  IRECT* GetDrawRect() { return &mDrawRECT; }
  IControl* GetCaptureControl() const { return mMouseCapture; }
  int GetMouseX() const { return mMouseX; }
  int GetMouseY() const { return mMouseY; }
  bool GetStrictDrawing() const { return mStrict; }
  void SetMouseOverHandling(bool b) { mHandleMouseOver = b; }

protected:
  // Hit search without the capture: layers last to first, then the control list last to first
  // (hidden and grayed controls of the list skipped; grayed ones in a visible layer are found).
  IControl* hitSearch(int x, int y, bool mouseOver) const;
  void releaseCaptureAndSetMouse();
  void dropBitmapReferences();
  // Deletes the draw bitmaps once no helper is mapping in the draw bitmap's pages.
  void deleteDrawBitmaps();
  // Takes over the text machinery PrepareTextAhead made, when it is ready.
  static void adoptTextAhead();
  void decodeAhead(IBitmap* bitmap, bool later);
  void decodeAhead(std::vector<IBitmap> bitmaps, bool later);
  // The images a dry run of drawing calls names, each once.
  std::vector<IBitmap> gatherImages(const std::function<void()>& dryRun);
  // Around every repaint: images of pages not shown wait while one runs; the first one's end
  // lets them start.
  void noteDrawing(bool begins);
  // The platform binding: its main loop is to look at WakePending now. Any thread.
  virtual void WakeView() {}
  void wake();
  // Queues the work unless it may run at once on this thread (then false, work untouched).
  bool queueForWindow(const void* owner, int what, std::function<void()>* work);
  UTIL_Mutex* plugMutex();

  GUI_ChildList<IControl> mControls{&mLayoutStampRef};
  GUI_ChildList<ControlLayer> mLayers{&mLayoutStampRef};
  IPluginBase* mPlug;
  IRECT mDrawRECT;
  // One area of a repaint; `clean` marks the controls clean afterwards.
  bool drawArea(IRECT* rect, bool clean);
  // The controls' part of drawArea: everything drawn into the draw bitmap, nothing to the screen.
  void walkDraw(IRECT* rect, bool clean);
  // Control 0 under the area, but for the part a picture drawn later in the walk replaces.
  void drawBackground(const IRECT& area);
  // Whether drawing the bitmap's first frame at dest (its size) with the blend replaces every
  // pixel there: a plain copy, or an opaque picture at full weight.
  static bool drawsEveryPixel(IBitmap* bitmap, const IRECT& dest, const IChannelBlend* blend);
  // The pictures that may cover the background: large plain bitmap controls, with their layers.
  void findCovers();
  struct Cover {
    ControlLayer* layer;  // null for the control list
    IBitmapControl* control;
  };
  std::vector<Cover> mCovers;
  unsigned mCoversStamp = 0;
  // During a dry run (gatherImages), where the bitmap calls note their images.
  std::vector<GFX_IBitmap*>* mGathered = nullptr;
  std::vector<IBitmap> mDecodeLater;  // until the first draw
  std::vector<std::pair<const void*, std::function<bool()>>> mIdleWork;
  struct WindowWork {
    const void* owner;
    int what;
    std::function<void()> work;
  };
  std::mutex mWindowWorkLock;  // the queue; taken after the plug-in's lock, never held while work runs
  std::vector<WindowWork> mWindowWork;
  std::atomic<std::thread::id> mWindowThread{};  // none while no window is open; set under the queue's lock
  std::atomic<bool> mWakePending{false};
  std::atomic<int> mModalDepth{0};  // changed on the window thread only
  std::atomic<std::thread::id> mModalThread{};
  std::vector<void*> mModalLoops;         // the window thread's
  std::function<void()> mDeleteAfterModal;  // the window thread's
  bool mGoing = false;                    // the window thread's
  bool mCloseAfterModal = false;  // the window closed under a popup or dialog; the window thread's
  bool mFirstDrawDone = false;
  bool mCursorHidden = false;
  int mHiddenMousePointX = -1, mHiddenMousePointY = -1;
  GFX_IBitmap* mDrawBitmap = nullptr;
  GFX_IBitmap* mTmpBitmap = nullptr;
  int mWidth, mHeight;
  int mFPS;
  IControl* mMouseOver = nullptr;
  IControl* mMouseCapture = nullptr;
  int mMouseX = 0, mMouseY = 0;
  int mLastClickedParam = -1;
  bool mHandleMouseOver = false;
  bool mStrict = true;
  IControl* mKeyCatcher = nullptr;
  int mLastLoadedFileSize = 0;

private:
  void updateParamIndex();

  GUI_LayoutStamp mLayoutStamp{1};
  GUI_LayoutStamp* mLayoutStampRef = &mLayoutStamp;
  // The stamp the index was built at (0: never built). Written under mParamIndexLock with
  // release after the index, read with acquire by every push.
  std::atomic<unsigned> mIndexedStamp{0};
  std::mutex mParamIndexLock;
  // Controls of parameter p: mParamIndexControls[mParamIndexStart[p] .. mParamIndexStart[p + 1]).
  // A control appears once under its own parameter and once under each other parameter it has an
  // auxiliary entry for.
  std::vector<int> mParamIndexStart;
  std::vector<IControl*> mParamIndexControls;

  // Ids this instance loaded or looked up, with the cached pixels it holds a reference to; so
  // that getImageById finds this instance's own scale first.
  std::map<int, GFX_IBitmap*> mMyBitmaps;
};
