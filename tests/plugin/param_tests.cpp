#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "IParam.h"

TEST(IParam, NewParameterDefaults) {
  IParam p;
  EXPECT_EQ(p.Type(), IParam::kTypeNone);
  EXPECT_EQ(p.GetMin(), 0.0);
  EXPECT_EQ(p.GetMax(), 1.0);
  EXPECT_EQ(p.GetStep(), 1.0);
  EXPECT_EQ(p.GetShape(), 1.0);
  EXPECT_EQ(p.GetNDisplayTexts(), 0);
  EXPECT_EQ(p.GetControlAction(), nullptr);
  EXPECT_STREQ(p.GetNameForHost(), "");
}

TEST(IParam, RangeRulesOfEnumIntAndDouble) {
  IParam e;
  e.InitEnum("e", 0, 1);
  EXPECT_EQ(e.GetMax(), 1.0);  // never 0..0
  IParam i;
  i.InitInt("i", 5, 5, 5);
  EXPECT_EQ(i.GetMin(), 5.0);
  EXPECT_EQ(i.GetMax(), 6.0);
  IParam big;
  big.InitInt("big", 0, INT_MAX, INT_MAX);  // minVal + 1 must not overflow
  EXPECT_EQ(big.GetMax(), static_cast<double>(INT_MAX) + 1.0);
  IParam d;
  d.InitDouble("d", 0.0, 1.0, 1.0, 0.5);
  EXPECT_EQ(d.GetMax(), 1.5);
}

TEST(IParam, InitKeepsExistingTypeButInitTextOverrides) {
  IParam p;
  p.InitEnum("x", 0, 4);
  p.InitInt("x", 0, 0, 10);
  EXPECT_EQ(p.Type(), IParam::kTypeEnum);
  p.InitText();
  EXPECT_EQ(p.Type(), IParam::kTypeText);
}

TEST(IParam, DoublePrecisionFollowsStepDecimals) {
  struct Case {
    double step;
    int precision;
  } cases[] = {{0.25, 2}, {0.001, 3}, {1.0, 0}, {0.1, 1}, {0.5, 1}, {1.0 / 3.0, 6}};
  for (const Case& c : cases) {
    IParam p;
    p.InitDouble("d", 0.0, 0.0, 10.0, c.step);
    EXPECT_EQ(p.GetPrecision(), c.precision) << "step " << c.step;
  }
}

TEST(IParam, NormalisedSetRoundsToStepExceptForDoubles) {
  IParam e;
  e.InitInt("i", 0, 0, 3);
  e.SetNormalized(0.5);
  EXPECT_EQ(e.Value(), 2.0);  // 1.5 rounds half up
  IParam d;
  d.InitDouble("d", 0.0, 0.0, 3.0, 0.1);
  d.SetNormalized(0.5);
  EXPECT_DOUBLE_EQ(d.Value(), 1.5);
  d.SetNormalized(7.0);  // held at the maximum
  EXPECT_EQ(d.Value(), 3.0);
  double before = d.Value();
  d.SetNormalized(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(d.Value(), before);
}

TEST(IParam, NormalisationRoundTripsWithShape) {
  IParam p;
  p.InitDouble("d", 0.0, 10.0, 20.0, 0.001);
  p.SetShape(2.0);
  p.SetShape(0.0);  // ignored
  EXPECT_EQ(p.GetShape(), 2.0);
  p.SetNormalized(0.5);
  EXPECT_NEAR(p.Value(), 12.5, 1e-9);
  EXPECT_NEAR(p.GetNormalized(), 0.5, 1e-9);
  EXPECT_EQ(p.GetNormalized(100.0), 1.0);  // held to the range
  EXPECT_EQ(p.GetNormalized(-100.0), 0.0);
  p.SetNormalized(-0.5);  // a negative base under a fractional shape must not give NaN
  EXPECT_FALSE(std::isnan(p.Value()));
}

TEST(IParam, EnumRangeFollowsDisplayTextList) {
  IParam p;
  p.InitEnum("e", 0, 10);
  for (int v = 0; v < 4; ++v) p.SetDisplayText(v, ("t" + std::to_string(v)).c_str());
  EXPECT_EQ(p.GetMax(), 3.0);
  p.Set(3.0);
  EXPECT_EQ(p.GetNormalized(), 1.0);
  p.SetDisplayText(1, "again");  // replacing keeps the range
  EXPECT_EQ(p.GetMax(), 3.0);
  EXPECT_STREQ(p.GetDisplayText(1), "again");
  // A text cut to the entry's 55 bytes keeps no half of a character.
  p.SetDisplayText(2, (std::string(54, 'a') + "\u00e4").c_str());
  EXPECT_EQ(std::string(p.GetDisplayText(2)), std::string(54, 'a'));
}

TEST(IParam, SingleDisplayTextGivesZeroRangeWithoutDividingByZero) {
  IParam p;
  p.InitEnum("e", 0, 1);
  p.SetDisplayText(0, "only");
  EXPECT_EQ(p.GetMax(), 0.0);
  EXPECT_EQ(p.GetNormalized(), 0.0);
}

TEST(IParam, InitBoolOverwritesFirstTwoTextsOnly) {
  IParam p;
  p.SetDisplayText(0, "a");
  p.SetDisplayText(1, "b");
  p.SetDisplayText(2, "c");
  p.InitBool("b", true);
  EXPECT_STREQ(p.GetDisplayText(0), "off");
  EXPECT_STREQ(p.GetDisplayText(1), "on");
  EXPECT_STREQ(p.GetDisplayText(2), "c");
  EXPECT_EQ(p.GetMax(), 1.0);
  int v = -1;
  EXPECT_TRUE(p.MapDisplayText("on", &v));
  EXPECT_EQ(v, 1);
  EXPECT_FALSE(p.MapDisplayText("maybe", &v));
  EXPECT_STREQ(p.GetLabelForHost(), "");
}

TEST(IParam, DisplayForHostUsesTextOrNumber) {
  IParam p;
  p.InitInt("i", 0, 0, 10, "ms");
  p.SetDisplayText(0, "zero");
  p.SetDisplayText(1, "");
  char buf[IParam::kDisplayMaxLen];
  p.GetDisplayForHost(0.0, false, buf);
  EXPECT_STREQ(buf, "zero");
  p.GetDisplayForHost(1.0, false, buf);  // empty text: the number instead
  EXPECT_STREQ(buf, "1");
  p.GetDisplayForHost(0.0, false, buf, false);
  EXPECT_STREQ(buf, "0");
  p.GetDisplayForHost(1.0, true, buf);  // the appended texts made the maximum 1
  EXPECT_STREQ(buf, "1");
  IParam d;
  d.InitDouble("d", 0.0, 0.0, 2.0, 0.25);
  d.GetDisplayForHost(0.5, true, buf);
  EXPECT_STREQ(buf, "1.00");
  d.GetDisplayForHost(1e300, false, buf);  // no undefined int conversion
  d.GetDisplayForHost(std::numeric_limits<double>::quiet_NaN(), false, buf);
}

TEST(IParam, LabelHiddenOnlyWhenValueHasText) {
  IParam p;
  p.InitInt("i", 0, 0, 10, "ms");
  p.Set(4.0);
  EXPECT_STREQ(p.GetLabelForHost(), "ms");
  p.SetDisplayText(0, "zero");
  p.Set(0.0);
  EXPECT_STREQ(p.GetLabelForHost(), "");
}

TEST(IParam, LongTextsAreTruncatedNotOverflowed) {
  std::string longText(500, 'x');
  IParam p;
  p.InitDouble(longText.c_str(), 0.0, 0.0, 1.0, 0.1, longText.c_str(), longText.c_str());
  EXPECT_EQ(strlen(p.GetNameForHost()), 54u);
  EXPECT_EQ(strlen(p.GetParamGroupForHost()), 54u);
  p.SetDisplayText(0, longText.c_str());
  EXPECT_EQ(strlen(p.GetDisplayText(0)), 55u);
  IParam n;
  n.InitBool(nullptr, false, nullptr, nullptr);
  EXPECT_STREQ(n.GetNameForHost(), "");
}

TEST(IParam, DisplayTextAtAnyValueIsSafe) {
  IParam p;
  p.InitEnum("e", 0, 3);
  p.SetDisplayText(-5, "neg");
  EXPECT_EQ(p.GetNDisplayTexts(), 0);
  p.SetDisplayText(INT_MAX, "far");  // one entry appended, nothing written outside the list
  EXPECT_EQ(p.GetNDisplayTexts(), 1);
  EXPECT_STREQ(p.GetDisplayText(INT_MAX), "far");
  EXPECT_EQ(p.GetMax(), static_cast<double>(INT_MAX));
  int v = 0;
  EXPECT_STREQ(p.GetDisplayTextAtIdx(0, &v), "far");
  EXPECT_EQ(v, INT_MAX);
  EXPECT_STREQ(p.GetDisplayTextAtIdx(7, &v), "");
  EXPECT_STREQ(p.GetDisplayTextAtIdx(-1), "");
  p.ResetDisplayTexts();
  EXPECT_EQ(p.GetNDisplayTexts(), 0);
}

TEST(IParam, AdoptedDisplayTextListsChangeApart) {
  const std::string longText(40, 'x');
  IParam a, b, c;
  a.InitEnum("a", 0, 1);
  b.InitEnum("b", 0, 1);
  a.SetDisplayText(0, "zero");
  a.SetDisplayText(1, longText.c_str());
  a.SetDisplayText(2, "two");
  ASSERT_TRUE(b.AdoptDisplayTextList(a.GetDisplayTextList()));
  EXPECT_EQ(b.GetNDisplayTexts(), 3);
  EXPECT_EQ(b.GetMax(), 2.0);  // as appending the three entries would leave it
  EXPECT_EQ(longText, b.GetDisplayText(1));
  EXPECT_FALSE(b.AdoptDisplayTextList(a.GetDisplayTextList()));  // b has texts now
  b.SetDisplayText(1, "one");
  b.SetDisplayText(3, "three");
  EXPECT_EQ(longText, a.GetDisplayText(1));
  EXPECT_EQ(a.GetNDisplayTexts(), 3);
  EXPECT_STREQ(b.GetDisplayText(1), "one");
  c.InitEnum("c", 0, 1);
  ASSERT_TRUE(c.AdoptDisplayTextList(b.GetDisplayTextList()));
  b.ResetDisplayTexts();
  EXPECT_EQ(c.GetNDisplayTexts(), 4);
  EXPECT_STREQ(c.GetDisplayText(3), "three");
  EXPECT_FALSE(c.AdoptDisplayTextList(nullptr));
}

TEST(IParam, ClampedSetHoldsRangeAndIgnoresNaN) {
  IParam p;
  p.InitInt("i", 3, 2, 9);
  p.SetClamped(100.0);
  EXPECT_EQ(p.Value(), 9.0);
  p.SetClamped(-100.0);
  EXPECT_EQ(p.Value(), 2.0);
  p.SetClamped(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(p.Value(), 2.0);
  p.Set(1e300);
  EXPECT_EQ(p.Int(), INT_MAX);
}
