#include "IParam.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "UTIL_PtrList.h"
#include "UTIL_String.h"

namespace {

// Copies text into a fixed field of `size` bytes, cutting it to size - 1 characters. A null text
// gives an empty field.
void copyText(char* dst, const char* text, int size) {
  if (!text) text = "";
  size_t n = strnlen(text, static_cast<size_t>(size - 1));
  memcpy(dst, text, n);
  dst[n] = 0;
}

// double -> int truncated towards zero without undefined behaviour: NaN gives 0, values outside
// the int range are held to it.
int truncToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

}  // namespace

IParam::IParam(IParamSlot* slot)
    : mOwnSlot(slot ? nullptr : new IParamSlot),
      mSlot(slot ? slot : mOwnSlot.get()) {
  mName[0] = mLabel[0] = mParamGroup[0] = 0;
}

void IParam::setTexts(const char* name, const char* label, const char* group) {
  copyText(mName, name, kNameLen);
  copyText(mLabel, label, kNameLen);
  copyText(mParamGroup, group, kNameLen);
}

namespace {
// "off", "on": made once and never freed, so no parameter can outlive it. Null when memory ran out.
const IParam::SharedDisplayTexts& offOnTexts();
}  // namespace

void IParam::InitBool(const char* name, bool defaultVal, const char* label, const char* group, int tag1, int tag2) {
  if (mType == kTypeNone) mType = kTypeBool;
  setTexts(name, label, group);
  mSlot->min = 0.0;
  mSlot->max = 1.0;
  mStep = 1.0;
  mDefault = defaultVal ? 1.0 : 0.0;
  Set(mDefault);
  mTag1 = tag1;
  mTag2 = tag2;
  mDisplayPrecision = 0;
  // Every switch shows the same two texts: a parameter without texts holds the one list of them.
  if (GetNDisplayTexts() == 0 && offOnTexts() && AdoptDisplayTextList(offOnTexts())) return;
  SetDisplayText(0, "off");
  SetDisplayText(1, "on");
}

void IParam::InitEnum(const char* name, int defaultVal, int nEnums, const char* label, const char* group, int tag1,
                      int tag2) {
  if (mType == kTypeNone) mType = kTypeEnum;
  setTexts(name, label, group);
  mSlot->min = 0.0;
  mSlot->max = nEnums - 1 > 1 ? static_cast<double>(nEnums - 1) : 1.0;
  mStep = 1.0;
  mDefault = defaultVal;
  Set(mDefault);
  mTag1 = tag1;
  mTag2 = tag2;
  mDisplayPrecision = 0;
}

void IParam::InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label, const char* group,
                     int tag1, int tag2) {
  if (mType == kTypeNone) mType = kTypeInt;
  setTexts(name, label, group);
  mSlot->min = minVal;
  double lowestMax = static_cast<double>(minVal) + 1.0;  // in double: minVal + 1 may overflow int
  mSlot->max = maxVal > lowestMax ? maxVal : lowestMax;
  mStep = 1.0;
  mDefault = defaultVal;
  Set(mDefault);
  mTag1 = tag1;
  mTag2 = tag2;
  mDisplayPrecision = 0;
}

void IParam::InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                        const char* label, const char* group, int tag1, int tag2) {
  if (mType == kTypeNone) mType = kTypeDouble;
  setTexts(name, label, group);
  mSlot->min = minVal;
  mSlot->max = maxVal > minVal + step ? maxVal : minVal + step;
  mStep = step;
  mDefault = defaultVal;
  Set(mDefault);
  mTag1 = tag1;
  mTag2 = tag2;
  // Decimals of the step: 0 when whole, else the smallest n of 1..5 with step * 10^n whole, else 6.
  int precision = 0;
  double s = step;
  if (!std::isfinite(s) || s != std::floor(s)) {
    precision = 6;
    for (int n = 1; n <= 5 && std::isfinite(s); ++n) {
      s *= 10.0;
      if (s == std::floor(s)) {
        precision = n;
        break;
      }
    }
  }
  mDisplayPrecision = precision;
}

void IParam::SetNormalized(double x) {
  if (std::isnan(x)) return;
  // A fractional shape of a negative base is NaN: a value below 0 is held at 0 for shaped
  // parameters. With shape 1 the value is left as the formula gives it.
  if (mShape != 1.0 && x < 0.0) x = 0.0;
  double v = mSlot->min + (mSlot->max - mSlot->min) * (mShape == 1.0 ? x : std::pow(x, mShape));
  if (mType != kTypeDouble && mStep > 0.0) v = std::floor(v / mStep + 0.5) * mStep;
  if (v > mSlot->max) v = mSlot->max;
  if (std::isnan(v)) return;
  Set(v);
}

double IParam::GetNormalized(double value) const {
  double range = mSlot->max - mSlot->min;
  // A display-text list of one entry makes maximum == minimum: there is nothing to normalise.
  if (!(range > 0.0) || std::isnan(value)) return 0.0;
  if (value < mSlot->min) value = mSlot->min;
  if (value > mSlot->max) value = mSlot->max;
  double x = (value - mSlot->min) / range;
  return mShape == 1.0 ? x : std::pow(x, 1.0 / mShape);
}

int IParam::Int() const { return truncToInt(Value()); }


class IParam::DisplayTextList {
public:
  // Most lists hold a handful of entries ("off"/"on"); a page-sized first step would cost every
  // one of the editor's nine thousand parameters 4 KB.
  DisplayTextList()
      : mEntries(4 * static_cast<int>(sizeof(DisplayText))), mLongs(8 * static_cast<int>(sizeof(char*))) {}
  ~DisplayTextList() { mLongs.Empty(true, free); }
  DisplayTextList(const DisplayTextList&) = delete;
  DisplayTextList& operator=(const DisplayTextList&) = delete;

  // A copy of `from`, or null when memory ran out.
  static DisplayTextList* copyOf(const DisplayTextList& from) {
    std::unique_ptr<DisplayTextList> list(new (std::nothrow) DisplayTextList);
    if (!list) return nullptr;
    const int n = from.mEntries.GetSize();
    if (n > 0) {
      DisplayText* e = list->mEntries.Resize(n, false);
      if (!e) return nullptr;
      memcpy(e, from.mEntries.Get(), static_cast<size_t>(n) * sizeof(DisplayText));
    }
    for (int i = 0, m = from.mLongs.GetSize(); i < m; ++i) {
      char* b = static_cast<char*>(malloc(kDisplayTextLen));
      if (!b || !list->mLongs.Add(b)) {
        free(b);
        return nullptr;
      }
      memcpy(b, from.mLongs.Get(i), kDisplayTextLen);
    }
    return list.release();
  }

  UTIL_TypedBuf<DisplayText> mEntries;
  UTIL_PtrList<char> mLongs;  // malloc'd blocks of kDisplayTextLen bytes
};

namespace {
const IParam::SharedDisplayTexts& offOnTexts() {
  static const IParam::SharedDisplayTexts* list = [] {
    IParam p;
    p.SetDisplayText(0, "off");
    p.SetDisplayText(1, "on");
    return new IParam::SharedDisplayTexts(p.GetNDisplayTexts() == 2 ? p.GetDisplayTextList() : nullptr);
  }();
  return *list;
}
}  // namespace

const IParam::DisplayText* IParam::entries(int* count) const {
  *count = mTexts ? mTexts->mEntries.GetSize() : 0;
  return *count > 0 ? mTexts->mEntries.Get() : nullptr;
}

const char* IParam::textOf(const DisplayText& e) const {
  return e.mLong < 0 ? e.mShort : mTexts->mLongs.Get(e.mLong);
}

IParam::DisplayTextList* IParam::ownTexts() {
  if (!mTexts) {
    mTexts.reset(new (std::nothrow) DisplayTextList);
  } else if (mTexts.use_count() > 1) {
    DisplayTextList* copy = DisplayTextList::copyOf(*mTexts);
    if (!copy) return nullptr;
    mTexts.reset(copy);
  }
  return mTexts.get();
}

int IParam::GetNDisplayTexts() const {
  int n = 0;
  entries(&n);
  return n;
}

void IParam::ReserveDisplayTexts(int count) {
  if (DisplayTextList* list = ownTexts()) list->mEntries.Reserve(count);
}

bool IParam::AdoptDisplayTextList(const SharedDisplayTexts& list) {
  if (GetNDisplayTexts() > 0) return false;
  if (!list || list->mEntries.GetSize() == 0) return true;
  // Only ever read through mTexts while it is shared: ownTexts copies it before any change.
  mTexts = std::const_pointer_cast<DisplayTextList>(list);
  mSlot->max = list->mEntries.Get()[list->mEntries.GetSize() - 1].mValue;
  return true;
}

void IParam::SetDisplayText(int value, const char* text) {
  if (value < 0) return;  // no entry can hold a negative position
  if (!text) text = "";
  DisplayTextList* list = ownTexts();
  if (!list) return;  // out of memory: the list and the range stay as they were
  size_t len = strnlen(text, static_cast<size_t>(kDisplayTextLen - 1));
  if (text[len]) len = UTIL_Utf8Cut(text, len + 1, len);  // cut short: never inside a character
  const int n = list->mEntries.GetSize();
  const bool replacing = n > value;
  // A text too long for the entry gets a block of its own, unless the entry has one already.
  const bool needsBlock = len >= static_cast<size_t>(kShortTextLen) &&
                          !(replacing && list->mEntries.Get()[value].mLong >= 0);
  int block = -1;
  if (needsBlock) {
    char* b = static_cast<char*>(malloc(kDisplayTextLen));
    if (!b || !list->mLongs.Add(b)) {
      free(b);
      return;  // out of memory: the list and the range stay as they were
    }
    block = list->mLongs.GetSize() - 1;
  }
  DisplayText* entry;
  if (replacing) {
    entry = list->mEntries.Get() + value;
  } else {
    // Appending. Callers append in order (value == n); a value further out gets one entry at the
    // end instead of a write outside the list.
    entry = list->mEntries.Resize(n + 1, false);
    if (!entry) {  // out of memory: the list and the range stay as they were
      if (block >= 0) list->mLongs.Delete(block, true, free);
      return;
    }
    entry += n;
    entry->mLong = -1;
    mSlot->max = value;
  }
  if (block >= 0) entry->mLong = block;
  entry->mValue = value;
  char* dst = entry->mLong >= 0 ? list->mLongs.Get(entry->mLong) : entry->mShort;
  memcpy(dst, text, len);
  dst[len] = 0;
}

const char* IParam::GetDisplayTextAtIdx(int idx, int* pValue) const {
  int n = 0;
  const DisplayText* e = entries(&n);
  if (idx < 0 || idx >= n) return "";
  if (pValue) *pValue = e[idx].mValue;
  return textOf(e[idx]);
}

const char* IParam::GetDisplayText(int value) const {
  int n = 0;
  const DisplayText* e = entries(&n);
  for (int i = 0; i < n; ++i)
    if (e[i].mValue == value) return textOf(e[i]);
  return "";
}

bool IParam::MapDisplayText(const char* text, int* pValue) const {
  if (!text) return false;
  int n = 0;
  const DisplayText* e = entries(&n);
  for (int i = 0; i < n; ++i) {
    if (strcmp(textOf(e[i]), text) == 0) {
      if (pValue) *pValue = e[i].mValue;
      return true;
    }
  }
  return false;
}

void IParam::GetDisplayForHost(double value, bool normalized, char* str, bool withDisplayText) const {
  if (!str) return;
  if (normalized) value = mSlot->min + (mSlot->max - mSlot->min) * (mShape == 1.0 ? value : std::pow(value, mShape));
  int i = truncToInt(value);
  if (withDisplayText) {
    int n = 0;
    const DisplayText* e = entries(&n);
    for (int k = 0; k < n; ++k) {
      if (e[k].mValue == i) {
        const char* t = textOf(e[k]);
        if (t[0]) {
          snprintf(str, kDisplayMaxLen, "%s", t);
          return;
        }
        break;
      }
    }
  }
  if (mDisplayPrecision == 0)
    snprintf(str, kDisplayMaxLen, "%d", i);
  else
    snprintf(str, kDisplayMaxLen, "%.*f", mDisplayPrecision, value);
}

const char* IParam::GetLabelForHost() const {
  const char* t = GetDisplayText(Int());
  return t[0] ? "" : mLabel;
}

double IParam::DBToAmp() const { return std::exp(Value() * 0.1151292546497); }
