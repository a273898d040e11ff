// Drop delivery and promised files (no drag on screen); with or without a display.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "WINX_Clipboard.h"
#include "WINX_DragDrop.h"

namespace fs = std::filesystem;

namespace {

int g_dropped = -1;
LRESULT dropProc(HWND, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_DROPFILES) g_dropped = DragQueryFile((HDROP)(uintptr_t)wp, 0xFFFFFFFFu, nullptr, 0);
  return 0;
}

void writeFile(const char* path) { std::ofstream(path) << "data"; }

class PromisedFiles : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("winxctl-dnd-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    WINX_DragDrop_ReplacePrompt = nullptr;
  }
  void TearDown() override {
    WINX_DragDrop_ReplacePrompt = nullptr;
    WINX_FinishDragDrop();
    fs::remove_all(dir);
  }
  void touch(const char* name) { std::ofstream(dir / name) << "x"; }
  std::string keep(const char* name) {
    std::string r = WINX_DragDrop_KeepBothName((dir / name).string());
    return r.empty() ? "" : fs::path(r).filename().string();
  }
  fs::path dir;
};

}  // namespace

TEST_F(PromisedFiles, KeepBothNamesNumberOnFromATrailingNumber) {
  EXPECT_EQ("Bank 001.syx", keep("Bank.syx"));
  touch("Bank 001.syx");
  EXPECT_EQ("Bank 002.syx", keep("Bank.syx"));
  EXPECT_EQ("Bank-008.syx", keep("Bank-007.syx"));
  EXPECT_EQ("Bank12 001", keep("Bank12"));
  EXPECT_EQ("_001.mid", keep("_.mid"));  // the separator alone is not a stem: a space is added
}

TEST_F(PromisedFiles, DropWritesOnceThenAsksBeforeReplacing) {
  HWND v = WINX_CreateWindowView(nullptr, nullptr, dropProc, 0);
  WINX_InitiateDragDrop(v, nullptr, "/src/Pads.syx", writeFile);
  EXPECT_EQ("Pads.syx", WINX_DoDragDrop(dir.c_str()));
  EXPECT_TRUE(fs::exists(dir / "Pads.syx"));
  EXPECT_EQ("", WINX_DoDragDrop(dir.c_str()));  // the promise was used up

  WINX_InitiateDragDrop(v, nullptr, "/src/Pads.syx", writeFile);
  WINX_DragDrop_ReplacePrompt = [](const char*) { return 0; };  // keep both
  EXPECT_EQ("Pads 001.syx", WINX_DoDragDrop(dir.c_str()));

  WINX_InitiateDragDrop(v, nullptr, "/src/Pads.syx", writeFile);
  WINX_DragDrop_ReplacePrompt = [](const char*) { return 1; };  // stop
  EXPECT_EQ("", WINX_DoDragDrop(dir.c_str()));
  EXPECT_FALSE(fs::exists(dir / "Pads 002.syx"));
  DestroyWindow(v);
}

TEST_F(PromisedFiles, DroppedFilesArriveAsOneBlock) {
  HWND v = WINX_CreateWindowView(nullptr, nullptr, dropProc, 0);
  g_dropped = -1;
  EXPECT_NE(nullptr, WINX_DragDrop_DeliverFiles(v, {"/a.syx", "/b.syx"}, POINT{1, 2}, false));
  EXPECT_EQ(2, g_dropped);
  EXPECT_EQ(nullptr, WINX_DragDrop_DeliverFiles(v, {}, POINT{1, 2}, false));
  EXPECT_FALSE(WINX_DragDrop_EnableDropTarget(v));  // the view does not accept files
  DestroyWindow(v);
  EXPECT_EQ(nullptr, WINX_DragDrop_DeliverFiles(v, {"/a.syx"}, POINT{0, 0}, false));
}
