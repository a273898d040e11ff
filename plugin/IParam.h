// One parameter of the plug-in, addressed by its index in IPluginBase's parameter list.
//
// Holds a plain value inside [minimum, maximum], converts it to and from the normalised 0..1 form
// in which controls and the host exchange values, formats it for display and keeps a table of
// display texts (value -> text) from which the editor's menus are built.
//
// Ownership: the parameter owns its display texts (a list several parameters hold belongs to all
// of them and goes with the last), and its value slot only when made without one.
// The ControlAction binding record is made and deleted by the UI configuration; the parameter
// just carries the pointer.
//
// Threads: no lock of its own. Writers hold the plug-in lock (GUI setters, host calls, chunk
// readers); the render thread, the MIDI input thread and the workers read the value without it,
// so the value alone is a relaxed atomic. The range and display texts are plain fields: change
// them only where no other thread can be reading them (this parameter's; a change never reaches
// the other holders of a shared list, it copies the list first).
#pragma once

#include <atomic>
#include <cmath>
#include <memory>

#include "UTIL_HeapBuf.h"

class ControlAction;

// The part of a parameter that the state chunks read and write: its value and range. The plug-in
// keeps the slots of all its parameters in one block, so that saving and restoring thousands of
// values walks one array instead of thousands of separate objects; a parameter made on its own
// uses a slot of its own.
struct IParamSlot {
  std::atomic<double> value{0.0};
  double min = 0.0, max = 1.0;

  // The value held to the range; a NaN leaves it unchanged (IParam::SetClamped).
  void setClamped(double v) {
    if (std::isnan(v)) return;
    value.store(v < min ? min : (v > max ? max : v), std::memory_order_relaxed);
  }
};

class IParam {
public:
  enum EParamType { kTypeNone = 0, kTypeBool = 1, kTypeInt = 2, kTypeEnum = 3, kTypeDouble = 4, kTypeText = 5 };

  // Field sizes including the terminator. Longer texts are cut, never overflowed.
  static constexpr int kNameLen = 55;         // name, label, group: at most 54 characters
  static constexpr int kDisplayTextLen = 56;  // display texts: at most 55 characters

  // One display text. Nearly every text is a word or a number: up to kShortTextLen - 1
  // characters live in the entry itself, a longer one in a block of its own (kDisplayTextLen
  // bytes, index mLong in the list's long blocks) that the entry keeps for every later text.
  static constexpr int kShortTextLen = 12;
  struct DisplayText {
    int mValue;
    int mLong;  // -1: the text is mShort
    char mShort[kShortTextLen];
  };
  // A parameter's list of display texts. Parameters can hold the same list (the parts of a
  // per-part menu show the same entries); it is copied when one of them changes it, so a list
  // held by more than one never changes.
  class DisplayTextList;
  using SharedDisplayTexts = std::shared_ptr<const DisplayTextList>;

  IParam() : IParam(nullptr) {}
  // slot: where the value and range live (not owned; it must outlive the parameter), or null for
  // a slot of the parameter's own.
  explicit IParam(IParamSlot* slot);
  ~IParam() = default;
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  // Initialisers set the type only while it is still none, copy name/label/group (truncated),
  // set value and default, store the two tags and set the precision.
  void InitBool(const char* name, bool defaultVal, const char* label = "", const char* group = "", int tag1 = 0,
                int tag2 = 0);
  void InitEnum(const char* name, int defaultVal, int nEnums, const char* label = "", const char* group = "",
                int tag1 = 0, int tag2 = 0);
  void InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label = "",
               const char* group = "", int tag1 = 0, int tag2 = 0);
  void InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                  const char* label = "", const char* group = "", int tag1 = 0, int tag2 = 0);
  // Makes the parameter a text parameter whatever it was; nothing else changes.
  void InitText() { mType = kTypeText; }

  // value = min + (max - min) * x^shape, rounded to the step for every type but double, held at
  // most at the maximum. A NaN x leaves the value unchanged.
  void SetNormalized(double x);
  double GetNormalized() const { return GetNormalized(Value()); }
  double GetNormalized(double value) const;
  void SetShape(double shape) {
    if (shape != 0.0) mShape = shape;
  }
  void GetBounds(double* minVal, double* maxVal) const {
    if (minVal) *minVal = mSlot->min;
    if (maxVal) *maxVal = mSlot->max;
  }

  // Plain value access. Set() stores as given; SetClamped() holds the value to the range (a NaN
  // leaves the value unchanged) and is what the chunk readers use.
  double Value() const { return mSlot->value.load(std::memory_order_relaxed); }
  int Int() const;  // the value truncated to an int (held to the int range; NaN gives 0)
  bool Bool() const { return Value() >= 0.5; }
  void Set(double value) { mSlot->value.store(value, std::memory_order_relaxed); }
  void SetClamped(double value) { mSlot->setClamped(value); }
  int Type() const { return mType; }
  EParamType GetType() const { return static_cast<EParamType>(mType); }
  double GetMin() const { return mSlot->min; }
  double GetMax() const { return mSlot->max; }
  double GetStep() const { return mStep; }
  double GetShape() const { return mShape; }
  double GetDefault() const { return mDefault; }
  double GetDefaultNormalized() const { return GetNormalized(mDefault); }
  int GetTag1() const { return mTag1; }
  int GetTag2() const { return mTag2; }
  int GetPrecision() const { return mDisplayPrecision; }

  // Display texts. SetDisplayText at value == count appends and makes value the maximum; below
  // count it replaces entry value. A negative value is ignored; a value past the count appends a
  // single entry (never writing outside the list) and makes it the maximum.
  void SetDisplayText(int value, const char* text);
  void ResetDisplayTexts() { mTexts.reset(); }
  // Makes room for `count` display texts in all, so that filling a list of known length
  // appends without moving it; nothing else changes.
  void ReserveDisplayTexts(int count);
  int GetNDisplayTexts() const;
  // The list as it is now (null when there are no texts), to be held by other parameters.
  SharedDisplayTexts GetDisplayTextList() const { return mTexts; }
  // On a parameter without display texts: takes `list` as appending its entries one by one in
  // order would (the maximum becomes the last entry's value), holding it instead of copying.
  // False, and nothing changes, when the parameter has texts already.
  bool AdoptDisplayTextList(const SharedDisplayTexts& list);
  // The text of entry idx ("" outside the list); its value through pValue when given and valid.
  const char* GetDisplayTextAtIdx(int idx, int* pValue = nullptr) const;
  // Text of the first entry with that value, or "".
  const char* GetDisplayText(int value) const;
  bool MapDisplayText(const char* text, int* pValue) const;

  // Writes the display text (when withDisplayText and one exists for the truncated value) or
  // the number. str must hold at least 64 bytes (kDisplayMaxLen).
  static constexpr int kDisplayMaxLen = 64;
  void GetDisplayForHost(double value, bool normalized, char* str, bool withDisplayText = true) const;
  void GetDisplayForHost(char* str, bool withDisplayText = true) const {
    GetDisplayForHost(Value(), false, str, withDisplayText);
  }

  const char* GetNameForHost() const { return mName; }
  const char* GetLabelForHost() const;
  const char* GetParamGroupForHost() const { return mParamGroup; }
  double DBToAmp() const;

  ControlAction* GetControlAction() const { return mControlAction; }
  void SetControlAction(ControlAction* action) { mControlAction = action; }

private:
  void setTexts(const char* name, const char* label, const char* group);
  // The entries (null when there are none) and their count.
  const DisplayText* entries(int* count) const;
  // The list, made or copied first when it is not this parameter's alone; null when memory ran
  // out.
  DisplayTextList* ownTexts();
  const char* textOf(const DisplayText& e) const;

  // A read-modify-write (SetNormalized, SetClamped) is a load and a store, not one atomic step:
  // writers are serialised by the plug-in lock, never by this.
  // Hazard: gcc 12 takes a load through a parameter pointer it cannot prove non-null for a write
  // into a region of size 0 (-Wstringop-overflow, an error under -Werror); check GetParam's
  // answer before calling Value() where the index is not known to be valid.
  std::unique_ptr<IParamSlot> mOwnSlot;  // only when the owner gave no slot
  IParamSlot* mSlot;                     // the value and range: never null
  double mStep = 1.0, mShape = 1.0, mDefault = 0.0;
  int mTag1 = 0, mTag2 = 0;
  int mType = kTypeNone;  // beside the other ints and the names: no padding between them
  int mDisplayPrecision = 0;
  char mName[kNameLen];
  char mLabel[kNameLen];
  char mParamGroup[kNameLen];
  std::shared_ptr<DisplayTextList> mTexts;  // made with the first text
  ControlAction* mControlAction = nullptr;
};
