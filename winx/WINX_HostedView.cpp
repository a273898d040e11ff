// Hosted plug-in views, the Carbon host view and OpenGL window views (see the header).
#include "WINX_HostedView.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <vector>

#include "AUCocoaView.h"

namespace {

// A plug-in's view widget as a child window. The record holds a reference of its own to the
// widget; the base class destroys the widget when the record goes.
struct WinxHostedView : HWND__ {
  WinxHostedView() : HWND__(WINX_CLASS_HOSTEDVIEW) { hidden = false; }
};

// The EGL display and the frame-buffer configuration every view context uses, set up once.
// A context renders off screen (a 1 x 1 pbuffer keeps it current, the view's framebuffer takes
// the drawing); the paint pass reads the pixels back and paints them with Cairo, so a GL view
// needs nothing of the window's own painting and mixes with the software-drawn views around it.
struct EglSetup {
  bool tried = false;
  EGLDisplay dpy = EGL_NO_DISPLAY;
  EGLConfig cfg = nullptr;
};

EGLDisplay eglReady(EGLConfig* cfg) {
  static EglSetup e;
  if (!e.tried) {
    e.tried = true;
    EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    const EGLint attrs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_RED_SIZE, 8,
                            EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_NONE};
    EGLint n = 0;
    if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) {
      if (eglBindAPI(EGL_OPENGL_API) && eglChooseConfig(d, attrs, &e.cfg, 1, &n) && n >= 1)
        e.dpy = d;
      else
        eglTerminate(d);
    }
  }
  *cfg = e.cfg;
  return e.dpy;
}

// A window view's GL state: the context with its pbuffer, and the framebuffer that paint passes
// draw into, sized to the view.
struct ViewGL {
  EGLContext ctx = EGL_NO_CONTEXT;
  EGLSurface pbuffer = EGL_NO_SURFACE;
  GLuint fbo = 0, color = 0, depth = 0;
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // read-back scratch, bottom row first
};

HWND__* liveView(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->isWindowView() ? w : nullptr;
}

ViewGL* glOf(HWND__* v) { return static_cast<ViewGL*>(v->m_glctx); }

bool makeCurrent(const ViewGL* g) {
  EGLConfig cfg;
  EGLDisplay d = eglReady(&cfg);
  return d != EGL_NO_DISPLAY && eglMakeCurrent(d, g->pbuffer, g->pbuffer, g->ctx);
}

void clearCurrent() {
  EGLConfig cfg;
  EGLDisplay d = eglReady(&cfg);
  if (d != EGL_NO_DISPLAY) eglMakeCurrent(d, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

// A new context, or null when this display offers no OpenGL.
ViewGL* newViewGL() {
  EGLConfig cfg;
  EGLDisplay d = eglReady(&cfg);
  if (d == EGL_NO_DISPLAY) return nullptr;
  const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
  ViewGL* g = new ViewGL;
  g->ctx = eglCreateContext(d, cfg, EGL_NO_CONTEXT, nullptr);
  g->pbuffer = eglCreatePbufferSurface(d, cfg, size);
  if (g->ctx == EGL_NO_CONTEXT || g->pbuffer == EGL_NO_SURFACE) {
    if (g->ctx != EGL_NO_CONTEXT) eglDestroyContext(d, g->ctx);
    if (g->pbuffer != EGL_NO_SURFACE) eglDestroySurface(d, g->pbuffer);
    delete g;
    return nullptr;
  }
  return g;
}

void freeBuffers(ViewGL* g) {
  if (g->fbo) glDeleteFramebuffers(1, &g->fbo);
  if (g->color) glDeleteRenderbuffers(1, &g->color);
  if (g->depth) glDeleteRenderbuffers(1, &g->depth);
  g->fbo = g->color = g->depth = 0;
  g->width = g->height = 0;
}

void freeViewGL(HWND__* v) {
  ViewGL* g = glOf(v);
  if (!g) return;
  v->m_glctx = nullptr;
  EGLConfig cfg;
  EGLDisplay d = eglReady(&cfg);
  if (makeCurrent(g)) freeBuffers(g);
  // Turning a view's GL off leaves no context of its own current.
  clearCurrent();
  eglDestroySurface(d, g->pbuffer);
  eglDestroyContext(d, g->ctx);
  delete g;
}

}  // namespace

// ---- hosted views ------------------------------------------------------------------------------

HWND WINX_GetAudioUnitCocoaView(HWND parent, AudioUnit unit, const AudioUnitCocoaViewInfo* info, RECT* r) {
  if (!info || !info->mCocoaAUViewClass[0]) return nullptr;
  HWND__* p = liveView(parent);
  if (!p || !p->container) return nullptr;
  AUCocoaViewFactory factory = AUCocoaViewFactoryFromInfo(*info, nullptr);
  if (!factory) return nullptr;
  GtkWidget* view = static_cast<GtkWidget*>(factory(unit, p->container));
  if (!view || !WINX_ValidWindow(p)) return nullptr;
  GtkRequisition natural = {0, 0};
  gtk_widget_get_preferred_size(view, nullptr, &natural);
  int width = natural.width, height = natural.height;
  if ((width <= 0 || height <= 0) && r) {
    width = r->right - r->left;
    height = r->bottom - r->top;
  }
  WinxHostedView* h = new WinxHostedView;
  h->widget = GTK_WIDGET(g_object_ref_sink(view));
  h->frame = {0, 0, std::max(width, 0), std::max(height, 0)};
  if (!WINX_AttachChild(p, h)) return nullptr;
  gtk_widget_show(view);
  if (r) *r = h->frame;
  return h;
}

HWND WINX_CreateCarbonWindowView(HWND parent, void** windowRefOut, const RECT* r, bool) {
  if (windowRefOut) *windowRefOut = nullptr;
  if (!WINX_ValidWindow(parent)) return nullptr;
  HWND v = WINX_CreateWindowView(nullptr, parent, nullptr, 0);
  if (v && r) SetWindowPos(v, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, SWP_NOZORDER);
  return v;
}

void* WINX_GetWindowFromCarbonWindowView(HWND) { return nullptr; }
void WINX_AddCarbonPaneToView(HWND, void*) {}

// ---- OpenGL views -------------------------------------------------------------------------------

void WINX_SetViewGL(HWND hwnd, bool on) {
  HWND__* v = liveView(hwnd);
  if (!v || (v->m_glctx != nullptr) == on) return;
  if (!on) {
    freeViewGL(v);
    winx_internal::queueRedraw(v, nullptr);
    return;
  }
  if (!v->drawingArea) return;  // no display: no GL
  v->m_glctx = newViewGL();
  if (v->m_glctx) winx_internal::queueRedraw(v, nullptr);
}

bool WINX_GetViewGL(HWND hwnd) {
  HWND__* v = liveView(hwnd);
  return v && v->m_glctx;
}

bool WINX_SetGLContextToView(HWND hwnd) {
  if (!hwnd) {
    clearCurrent();
    return false;
  }
  HWND__* v = liveView(hwnd);
  ViewGL* g = v ? glOf(v) : nullptr;
  return g && makeCurrent(g);
}

namespace winx_internal {

bool beginViewGL(HWND__* v, int width, int height) {
  ViewGL* g = glOf(v);
  if (!g || !makeCurrent(g)) return false;
  const int w = std::max(width, 1), h = std::max(height, 1);
  if (g->width != w || g->height != h) {
    freeBuffers(g);
    glGenRenderbuffers(1, &g->color);
    glBindRenderbuffer(GL_RENDERBUFFER, g->color);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glGenRenderbuffers(1, &g->depth);
    glBindRenderbuffer(GL_RENDERBUFFER, g->depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
    glGenFramebuffers(1, &g->fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, g->fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, g->color);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, g->depth);
    g->width = w;
    g->height = h;
  }
  glBindFramebuffer(GL_FRAMEBUFFER, g->fbo);
  glViewport(0, 0, w, h);
  return true;
}

void endViewGL(HWND__* v, void* cr, int, int) {
  ViewGL* g = glOf(v);
  if (g && cr && makeCurrent(g)) {
    const int w = g->width, h = g->height;
    g->pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    glBindFramebuffer(GL_FRAMEBUFFER, g->fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, g->pixels.data());
    // Cairo's RGB24 on a little-endian machine is the same BGRA byte order; GL's rows run
    // bottom-up.
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
      cairo_surface_flush(s);
      unsigned char* dst = cairo_image_surface_get_data(s);
      const int stride = cairo_image_surface_get_stride(s);
      for (int y = 0; y < h; ++y)
        std::copy_n(g->pixels.data() + static_cast<size_t>(h - 1 - y) * w, w,
                    reinterpret_cast<uint32_t*>(dst + static_cast<size_t>(y) * stride));
      cairo_surface_mark_dirty(s);
      cairo_set_source_surface(static_cast<cairo_t*>(cr), s, 0, 0);
      cairo_paint(static_cast<cairo_t*>(cr));
    }
    cairo_surface_destroy(s);
  }
  clearCurrent();
}

void releaseViewGL(HWND__* v) { freeViewGL(v); }

}  // namespace winx_internal
