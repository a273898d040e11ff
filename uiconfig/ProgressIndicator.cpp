#include "ProgressIndicator.h"

#include "ControlLayer.h"
#include "IGraphics.h"

ProgressIndicator::ProgressIndicator(ControlLayer* layer, IPluginBase* plug, int x, int y,
                                     int width, int height, int paramIdx, IBitmap* bitmap,
                                     IRECT targetArea)
    : IBitmapOverlayControl(plug, x, y, paramIdx, bitmap, targetArea),
      layer(layer),
      overlayBitmap(bitmap ? *bitmap : IBitmap()),
      drawRect(x, y, x + width, y + height) {
  if (layer) {
    layer->AddControl(this);
    layer->setIgnoreHiddenWhenUpdatingScreen(true);
  }
}

void ProgressIndicator::OnMouseDown(int, int, IMouseMod*) {}
void ProgressIndicator::OnMouseDblClick(int, int, IMouseMod*) {}

bool ProgressIndicator::Draw(IGraphics* graphics) {
  if (graphics) graphics->DrawBitmap(&overlayBitmap, &drawRect, 0, 0, &mBlend);
  return true;
}
