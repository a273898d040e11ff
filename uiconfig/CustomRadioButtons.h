#pragma once
// The radio-button row or column of the interface description's "radio" element: buttons laid
// edge to edge, all drawn from one picture that holds every button in both states (off cells in
// the first row, or column when the picture's frames lie side by side; on cells in the second).
// A double click does not reset the value to its default.
//
// Made by UIConfigManager::createRadioControl on the thread that builds the interface; owned by
// its layer or the graphics object. Mouse and drawing on the GUI thread.

#include "IControls.h"

class ICustomRadioButtonsControl : public IRadioButtonsControl {
 public:
  ICustomRadioButtonsControl(IPluginBase* plug, IRECT rect, int paramIdx, int nButtons,
                             IBitmap* bitmap, EDirection direction);
  ~ICustomRadioButtonsControl() override = default;

  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;
  void OnMouseOver(int x, int y, IMouseMod* mod) override;
  void OnMouseOut() override;
  bool Draw(IGraphics* graphics) override;
  // Selects the button under (x, y), if any, and pushes the value. A right click selects nothing.
  void OnMouseDownCustom(int x, int y, IMouseMod* mod);

  // Index of the button the value selects (0 for a single button); -1 without buttons.
  int SelectedIndex() const;
  int CellWidth() const { return cellWidth; }
  int CellHeight() const { return cellHeight; }

 private:
  bool rightClickSelects = false;
  bool highlightSelected = true;
  int cellWidth = 0;
  int cellHeight = 0;
  int lastClickable = -1;  // -1: every button reacts; else buttons 0..lastClickable only
};
