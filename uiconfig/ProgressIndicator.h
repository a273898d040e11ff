#pragma once
// Full-window overlay shown on the "PROGRESS" layer while a transfer with the synthesizer runs:
// it draws the progress picture whatever its value and swallows the clicks that reach it, so
// the controls beneath cannot be used meanwhile.
//
// Appends itself to the layer given to the constructor; that layer owns and deletes it. The
// editor core shows and hides the layer (and the control) from the GUI thread or a worker.

#include "IControls.h"

class ControlLayer;

class ProgressIndicator : public IBitmapOverlayControl {
 public:
  // `layer` must not be null: the control is appended to it and belongs to it from then on.
  ProgressIndicator(ControlLayer* layer, IPluginBase* plug, int x, int y, int width, int height,
                    int paramIdx, IBitmap* bitmap, IRECT targetArea);
  ~ProgressIndicator() override = default;

  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

  ControlLayer* GetLayer() const { return layer; }
  const IRECT& GetDrawRect() const { return drawRect; }

 private:
  ControlLayer* layer;
  IBitmap overlayBitmap;
  IRECT drawRect;
};
