// Dropping files on window views and dragging files out of them.
//
// Toolkit mapping: a view that accepts files (m_supports_ddrop) becomes a GTK drop target for
// "text/uri-list" (WINX_DragDrop_EnableDropTarget, called for such views); the dropped local
// files arrive as a drop block in WM_DROPFILES, and the four hooks follow the drag. As a source,
// a view drags a file list as "text/uri-list"; a promised file (one written only when it is
// dropped) is written into the directory the drop asks for by WINX_DoDragDrop, with the
// "Keep Both Files" numbering when a file of that name exists. GTK desktops do not ask a source
// for promised files, so a promised drag offers the file written to "/tmp/" (or the target-path
// hook's directory) at the moment the drop target asks for the data.
//
// The drag-source state (promised path and callback) is process-wide and cleared by
// WINX_FinishDragDrop, by a new drag and when a promised drop completes or fails. Main thread
// only.
#pragma once

#include <string>
#include <vector>

#include "WINX_Window.h"

extern void (*WINX_DDrop_onDragEnter)(void* previewDropBlock, POINT screenPt);
extern void (*WINX_DDrop_onDragOver)(POINT screenPt);
extern void (*WINX_DDrop_onDragLeave)();
extern const char* (*WINX_DDrop_getDroppedFileTargetPath)(const char* fileType);

// Builds the drop block for files at pt (view coordinates). Preview: returns the block (the
// caller frees it with GlobalFree). Otherwise delivers WM_DROPFILES (block, 0) to the view,
// frees the block and returns a non-null token on success, null when nothing was delivered.
void* WINX_DragDrop_DeliverFiles(HWND view, const std::vector<std::string>& files, POINT pt, bool preview);
// Makes an accepting window view a GTK drop target; false for anything else.
bool WINX_DragDrop_EnableDropTarget(HWND view);

void WINX_InitiateDragDrop(HWND view, const RECT* srcRect, const char* srcPath, void (*callback)(const char* destPath));
void WINX_InitiateDragDropOfFileList(HWND view, const RECT* srcRect, const char** paths, int count, HICON icon);
void WINX_FinishDragDrop();
// Writes the promised file into destDir; its file name, or "" when nothing was written (no
// promise, the user stopped, or no free name up to 999).
std::string WINX_DoDragDrop(const char* destDir);
// "Keep Both Files": the first free "<stem><nnn><ext>" for an existing path, numbering on from a
// trailing " nnn", "-nnn" or "_nnn" (at most three digits); "" when 001..999 are all taken.
std::string WINX_DragDrop_KeepBothName(const std::string& path);

// Answer of the replace prompt, for tests and hosts without a display: 0 keep both, 1 stop,
// 2 replace. Null (default) shows the alert.
extern int (*WINX_DragDrop_ReplacePrompt)(const char* baseName);
