// The GTK binding's parts that need no display: resource lookup and loading, key and modifier
// mapping, the value field's character sets, file-name and URI helpers. Plus text drawing and
// the font cache, which need fonts but no display.
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "CairoTestImages.h"
#include "GFX_Bitmap.h"
#include "GFX_Blit.h"
#include "ControlLayer.h"
#include "GuiTestSupport.h"
#include "IGraphicsGtk.h"
#include "IGraphicsGtkView.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/gui-res-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  void write(const std::string& rel, const std::string& bytes) {
    fs::create_directories((path / rel).parent_path());
    std::ofstream(path / rel, std::ios::binary) << bytes;
  }
};

}  // namespace

TEST(GtkResources, LoadFileIsWholeNulTerminatedAndRefusesHugeFiles) {
  TempDir dir;
  dir.write("uiconfig.tea", "0123456789");
  dir.write("big.tea", std::string(IGraphics::kMaxLoadFileSize, 'x'));
  dir.write("sub/deeper.tea", "abc");
  GuiTestPlug plug;
  IGraphicsGtk g(&plug, 10, 10);
  g.SetResourcesPath(dir.path.c_str());
  char* buf = g.LoadFile(1, "resources/uiconfig.tea");
  ASSERT_NE(buf, nullptr);
  EXPECT_EQ(g.GetLastLoadedFileSize(), 10);
  EXPECT_EQ(std::string(buf), "0123456789");
  delete[] buf;
  EXPECT_EQ(g.LoadFile(1, "resources/big.tea"), nullptr);
  EXPECT_EQ(g.LoadFile(1, "resources/missing.tea"), nullptr);
  buf = g.LoadFile(1, "deeper.tea");  // found in a folder below the resources folder
  ASSERT_NE(buf, nullptr);
  EXPECT_STREQ(buf, "abc");
  delete[] buf;
}

TEST(GtkResources, PngLookupDropsTheFolderIgnoresTheExtensionsCaseAndNamesWhatIsNoFile) {
  TempDir dir;
  fs::create_directories(dir.path / "img");
  writeSolidPng((dir.path / "img" / "main-bg-frame.PNG").c_str(), 3, 2, 1.0, 0.0, 0.0);
  GuiTestPlug plug;
  IGraphicsGtk g(&plug, 10, 10);
  g.SetResourcesPath(dir.path.c_str());
  GFX_IBitmap* bm = g.OSLoadBitmap(104, "resources/img/main-bg-frame.png");
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->getWidth(), 3);
  EXPECT_EQ(bm->getBits()[0], 0x0000ffffu);  // opaque red: A | R << 8
  delete bm;
  bm = g.OSLoadBitmap(104, "resources/img/main-bg-frame.PnG");
  EXPECT_NE(bm, nullptr);
  delete bm;
  EXPECT_EQ(g.OSLoadBitmap(104, "resources/img/main-bg-frame.jpg"), nullptr);
  EXPECT_EQ(g.OSLoadBitmap(104, nullptr), nullptr);
  // Without a resources folder or bundle nothing is found.
  IGraphicsGtk none(&plug, 10, 10);
  EXPECT_EQ(none.OSLoadBitmap(104, "resources/img/main-bg-frame.png"), nullptr);
  // A resource by the looked-for name that is no file is that resource, unusable: it is named with
  // its reason and not searched for in every folder below (where a file of the same name lies).
  ASSERT_EQ(mkfifo((dir.path / "fifo.png").c_str(), 0600), 0);
  fs::create_directories(dir.path / "folder.png");
  fs::create_symlink("loop.png", dir.path / "loop.png");
  fs::create_symlink("absent.png", dir.path / "dangling.png");
  for (std::string c : {"fifo:named pipe (FIFO)", "folder:a folder", "loop:symbolic links", "dangling:link to nothing"}) {
    const std::string name = c.substr(0, c.find(':')), file = (dir.path / (name + ".png")).string();
    writeSolidPng((dir.path / "img" / (name + ".png")).c_str(), 2, 2, 1, 0, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(g.OSLoadBitmap(1, ("resources/img/" + name + ".png").c_str()), nullptr) << name;
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(file + " "), std::string::npos) << said;
    EXPECT_NE(said.find(c.substr(c.find(':') + 1)), std::string::npos) << said;
  }
}

TEST(GtkBinding, KeyCodesOfTheCanvas) {
  EXPECT_EQ(IGraphicsGtkView::KeyCodeFor(GDK_KEY_space), 0);
  EXPECT_EQ(IGraphicsGtkView::KeyCodeFor(GDK_KEY_Up), 1);
  EXPECT_EQ(IGraphicsGtkView::KeyCodeFor(GDK_KEY_Right), 4);
  EXPECT_EQ(IGraphicsGtkView::KeyCodeFor(GDK_KEY_7), 12);
  EXPECT_EQ(IGraphicsGtkView::KeyCodeFor(GDK_KEY_a), 15);
  EXPECT_EQ(IGraphicsGtkView::KeyCodeFor(GDK_KEY_Z), 40);
  EXPECT_EQ(IGraphicsGtkView::KeyCodeFor(GDK_KEY_Tab), -1);
  EXPECT_EQ(IGraphicsGtkView::KeyCodeFor(GDK_KEY_adiaeresis), -1);
}

TEST(GtkBinding, SuperClickIsARightClickAndRightButtonClearsLeft) {
  IMouseMod m = IGraphicsGtkView::ModFor(GDK_SUPER_MASK | GDK_SHIFT_MASK, false);
  EXPECT_TRUE(m.L);
  EXPECT_TRUE(m.R);
  EXPECT_TRUE(m.S);
  EXPECT_FALSE(m.C);
  m = IGraphicsGtkView::ModFor(GDK_CONTROL_MASK | GDK_MOD1_MASK, true);
  EXPECT_FALSE(m.L);
  EXPECT_TRUE(m.R);
  EXPECT_TRUE(m.C);
  EXPECT_TRUE(m.A);
}

TEST(GtkBinding, ValueFieldCharacterSetsByParameterType) {
  EXPECT_STREQ(IGraphicsGtkView::AllowedCharacters(IParam::kTypeInt), "0123456789-+");
  EXPECT_STREQ(IGraphicsGtkView::AllowedCharacters(IParam::kTypeEnum), "0123456789-+");
  EXPECT_STREQ(IGraphicsGtkView::AllowedCharacters(IParam::kTypeDouble), "0123456789.-+");
  EXPECT_STREQ(IGraphicsGtkView::AllowedCharacters(IParam::kTypeNone), "");
  const std::string text = IGraphicsGtkView::AllowedCharacters(IParam::kTypeText);
  for (char c : std::string("aZ09 !\"#$%&/'+-*()[],.")) EXPECT_NE(text.find(c), std::string::npos) << c;
  for (char c : std::string(":;?@_\\<>{}=~^`|")) EXPECT_EQ(text.find(c), std::string::npos) << c;
}

TEST(GtkBinding, SavedNameGetsItsExtensionWhenLeftOff) {
  EXPECT_EQ(IGraphicsGtk::AddMissingExtension("/x/bank", "mid"), "/x/bank.mid");
  EXPECT_EQ(IGraphicsGtk::AddMissingExtension("/x/bank.MID", "mid"), "/x/bank.MID");
  EXPECT_EQ(IGraphicsGtk::AddMissingExtension("/x/bank.zpk", "syx zpk"), "/x/bank.zpk");
  EXPECT_EQ(IGraphicsGtk::AddMissingExtension("/x/bank.txt", "syx zpk"), "/x/bank.txt.syx");
  EXPECT_EQ(IGraphicsGtk::AddMissingExtension("/x/bank", ""), "/x/bank");
}

TEST(GtkBinding, AnAddedExtensionThatWouldReplaceAFileIsAskedAbout) {
  const fs::path d = fs::temp_directory_path() / ("gtkbind-" + std::to_string(getpid()));
  fs::create_directories(d);
  const std::string typed = (d / "Keep").string();
  EXPECT_EQ(IGraphicsGtk::ExistingFileBehindAddedExtension(typed, "zpk"), "");
  { std::ofstream((d / "Keep.zpk").string()) << "bank"; }
  EXPECT_EQ(IGraphicsGtk::ExistingFileBehindAddedExtension(typed, "zpk"), (d / "Keep.zpk").string());
  // A typed name that already carries the extension was asked about by the panel itself.
  EXPECT_EQ(IGraphicsGtk::ExistingFileBehindAddedExtension((d / "Keep.zpk").string(), "zpk"), "");
  fs::remove_all(d);
}

TEST(GtkBinding, ConfirmedPanelSetsFileAndFolder) {
  UTIL_String file, dir;
  IGraphicsGtk::ApplyChosenFile("/home/u/Patches/Bank 7", true, "mid", &file, &dir);
  EXPECT_STREQ(file.Get(), "/home/u/Patches/Bank 7.mid");
  EXPECT_STREQ(dir.Get(), "/home/u/Patches/");
  IGraphicsGtk::ApplyChosenFile("/home/u/in.syx", false, "syx zpk", &file, &dir);
  EXPECT_STREQ(file.Get(), "/home/u/in.syx");
}

TEST(GtkBinding, UrlsStayAndPathsBecomeFileUris) {
  EXPECT_EQ(IGraphicsGtk::URIForOpen("https://example.org/a"), "https://example.org/a");
  EXPECT_EQ(IGraphicsGtk::URIForOpen("/tmp/Tamsell Sorvanta Editor/"), "file:///tmp/Tamsell%20Sorvanta%20Editor/");
  EXPECT_EQ(IGraphicsGtk::URIForOpen(""), "");
}

TEST(GtkBinding, WithoutAWindowPromptsAndMenusDoNothing) {
  GuiTestPlug plug;
  IGraphicsGtk g(&plug, 10, 10);
  UTIL_String file("old.mid"), dir("");
  char ext[] = "mid";
  g.PromptForFile(&file, kFileSave, &dir, ext);
  EXPECT_STREQ(file.Get(), "");
  IPopupMenu menu;
  menu.AddItem("a");
  IRECT r(0, 0, 10, 10);
  EXPECT_EQ(g.CreateIPopupMenu(&menu, &r), nullptr);
  EXPECT_FALSE(g.WindowIsOpen());
  EXPECT_STREQ(g.GetGUIAPI(), "GTK gui");
}

TEST(TextDrawing, DrawsMeasuresAndSharesFontsAcrossColours) {
  GuiTestPlug plug;
  auto* g = new HeadlessGraphics(&plug, 200, 40);
  plug.AttachGraphics(g);
  IColor white(255, 255, 255, 255);
  IRECT all(0, 0, 200, 40);
  IChannelBlend clobber(IChannelBlend::kBlendClobber);
  g->FillIRect(&white, &all, &clobber);
  IText text(14, IColor(255, 0, 0, 0));
  IRECT r(10, 0, 110, 20);
  ASSERT_TRUE(g->DrawIText(&text, "Cutoff", &r));
  int dark = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 10; x < 110; ++x)
      if ((pixelAt(g, x, y) >> 8 & 0xff) < 128) ++dark;
  EXPECT_GT(dark, 10);

  IRECT m(10, 0, 110, 20);
  ASSERT_TRUE(g->MeasureIText(&text, "Cutoff", &m));
  const int w = m.R - m.L;
  EXPECT_GT(w, 10);
  EXPECT_EQ(m.L, 60 - w / 2);
  EXPECT_GT(m.B, 0);

  IText red(14, IColor(255, 255, 0, 0));
  red.mQuality = 0;
  EXPECT_EQ(g->CacheFont(&red), text.mCached);  // colour and quality are not part of the key
  IText bold(14, IColor(255, 0, 0, 0), nullptr, IText::kStyleBold);
  EXPECT_NE(g->CacheFont(&bold), text.mCached);
  EXPECT_TRUE(g->DrawIText(&text, "", &r));  // nothing to draw is success
}

TEST(GtkResources, PngImagesAreDecodedWhenFirstDrawnWithTheEagerLoadsPixels) {
  TempDir dir;
  writeSolidPng((dir.path / "knob.png").c_str(), 40, 30, 0.2, 0.6, 1.0);
  static const char kHeaderOnly[] = "\x89PNG\r\n\x1a\n....IHDR\0\0\0\x28\0\0\0\x1e and no pixels";
  dir.write("broken.png", std::string(kHeaderOnly, sizeof kHeaderOnly - 1));
  GuiTestPlug plug;
  IGraphicsGtk g(&plug, 10, 10);
  g.SetResourcesPath(dir.path.c_str());
  for (double scale : {1.0, 0.85, 1.15}) {
    SCOPED_TRACE(scale);
    const size_t before = IGraphics::DecodedBitmapBytes();
    IBitmap bm = g.LoadIBitmap(static_cast<int>(7000 + scale * 100), "resources/img/knob.png", scale, 2);
    ASSERT_NE(bm.mData, nullptr);
    EXPECT_EQ(bm.W, static_cast<int>(40 * scale));
    EXPECT_EQ(bm.H, static_cast<int>(30 * scale));
    EXPECT_EQ(IGraphics::DecodedBitmapBytes(), before) << "decoded before it was drawn";
    // The eager road: the binding's decode, scaled as the cache scales.
    GFX_IBitmap* eager = g.OSLoadBitmap(0, "resources/img/knob.png");
    ASSERT_NE(eager, nullptr);
    GFX_MemBitmap scaled(bm.W, bm.H, 4);
    GFX_ScaledBlit(&scaled, eager, 0, 0, bm.W, bm.H, 0.0f, 0.0f, 40.0f, 30.0f, 1.0f,
                   GFX_MODE_COPY | GFX_MODE_FILTER_BILINEAR);
    GFX_IBitmap* want = scale == 1.0 ? eager : &scaled;
    ASSERT_NE(bm.mData->getBits(), nullptr);
    EXPECT_GT(IGraphics::DecodedBitmapBytes(), before);
    for (int y = 0; y < bm.H; ++y)
      for (int x = 0; x < bm.W; ++x)
        ASSERT_EQ(bm.mData->getBits()[y * bm.mData->getRowSpan() + x], want->getBits()[y * want->getRowSpan() + x])
            << x << "," << y;
    delete eager;
    g.ReleaseBitmap(&bm);
  }
  // A file whose header promises what its body does not keep draws nothing, as a missing one.
  IBitmap broken = g.LoadIBitmap(7100, "resources/img/broken.png", 1.0);
  ASSERT_NE(broken.mData, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(broken.mData->getBits(), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("broken.png cannot be decoded: "), std::string::npos);
  g.ReleaseBitmap(&broken);
}

// The background is left out under a picture drawn later that replaces every pixel it covers:
// what shows is what painting everything in order shows, whatever the picture's blend, weight,
// visibility, frames or alpha, and wherever the repainted area lies.
TEST(GtkResources, APictureOverTheBackgroundShowsWhatPaintingInOrderShows) {
  TempDir dir;
  writeSolidPng((dir.path / "bg.png").c_str(), 60, 40, 1.0, 0.0, 0.0);
  writeSolidPng((dir.path / "cover.png").c_str(), 40, 20, 0.0, 0.0, 1.0);
  writeSolidPng((dir.path / "glass.png").c_str(), 40, 20, 0.0, 1.0, 0.0, 0.5);
  writeSolidPng((dir.path / "strip.png").c_str(), 40, 40, 0.0, 1.0, 1.0);
  struct InOrder : IBitmapControl { using IBitmapControl::IBitmapControl; };  // never taken for a cover
  struct Case { const char* file; int blend, frames; bool gray, hideControl, hideLayer; IRECT area; };
  const IRECT all(0, 0, 60, 40);
  const Case cases[] = {
      {"cover.png", IChannelBlend::kBlendNone, 1, false, false, false, all},
      {"cover.png", IChannelBlend::kBlendClobber, 1, false, false, false, IRECT(5, 5, 30, 30)},
      {"cover.png", IChannelBlend::kBlendAdd, 1, false, false, false, all},
      {"cover.png", IChannelBlend::kBlendNone, 1, true, false, false, all},
      {"cover.png", IChannelBlend::kBlendNone, 1, false, true, false, all},
      {"cover.png", IChannelBlend::kBlendNone, 1, false, false, true, all},
      {"glass.png", IChannelBlend::kBlendNone, 1, false, false, false, all},
      {"glass.png", IChannelBlend::kBlendClobber, 1, false, false, false, all},
      {"strip.png", IChannelBlend::kBlendNone, 2, false, false, false, all},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const Case& c = cases[i];
    std::vector<GFX_pixel> drawn[2];
    for (int inOrder = 0; inOrder < 2; ++inOrder) {
      GuiTestPlug plug;
      IGraphicsGtk g(&plug, 60, 40);
      g.SetResourcesPath(dir.path.c_str());
      g.AttachBackground(7600, "resources/img/bg.png");
      IBitmap bm = g.LoadIBitmap(7601 + static_cast<int>(i), (std::string("resources/img/") + c.file).c_str(), 1.0, c.frames);
      auto* picture = inOrder ? new InOrder(&plug, 10, 10, -1, &bm, c.blend) : new IBitmapControl(&plug, 10, 10, -1, &bm, c.blend);
      auto* page = new ControlLayer(1, "page");
      page->AddControl(picture);
      g.AttachLayer(page);
      page->Hide(c.hideLayer);
      picture->Hide(c.hideControl);
      picture->GrayOut(c.gray);
      g.PrepDraw();
      IRECT area = c.area;
      g.Draw(&area);
      GFX_IBitmap* canvas = g.GetDrawBitmap();
      drawn[inOrder].assign(canvas->getBits(), canvas->getBits() + 40 * canvas->getRowSpan());
    }
    EXPECT_EQ(drawn[0], drawn[1]) << "case " << i;
  }
}
