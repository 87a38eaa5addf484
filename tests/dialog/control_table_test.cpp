// The control table, the kind predicates, the UI strings and the layout.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "dialog/control_table.h"

TEST(ControlTable, KindsOfTheNamedCases) {
  EXPECT_EQ(GetControlKind(77), kKindNumberEdit);
  EXPECT_EQ(GetControlKind(10), kKindSlider);
  EXPECT_EQ(GetControlKind(18), kKindNone);   // the preview has no row
  EXPECT_EQ(GetControlKind(34), kKindNone);   // nor has the zoom label
  EXPECT_EQ(GetControlKind(5), kKindNone);
  EXPECT_EQ(GetControlKind(-1), kKindNone);
  EXPECT_EQ(GetControlKind(777), kKindNone);
  EXPECT_EQ(GetControlKind(73), kKindComboBox);
  EXPECT_EQ(GetControlKind(25), kKindAboutPicture);
  EXPECT_EQ(GetControlKind(119), kKindDotThumbnail);
  for (int id = 121; id <= 145; id++) EXPECT_EQ(GetControlKind(id), kKindMemoryDot) << id;
  EXPECT_EQ(GetControlKind(120), kKindNone);
  EXPECT_EQ(GetControlKind(146), kKindLabel);
  EXPECT_EQ(GetControlKind(147), kKindNone);
}

TEST(ControlTable, EverySliderHasItsOwnPartnerEdit) {
  // The partner edits as the dialog's template lists them (84 is an item without role).
  const std::set<int> edits = {77, 78, 79, 80, 81, 82, 83, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 99, 104, 108, 111, 115};
  std::set<int> seen;
  int sliders = 0;
  for (int id = 0; id < 200; id++) {
    if (GetControlKind(id) != kKindSlider) continue;
    sliders++;
    ControlInfo info;
    info.effectiveKind = 99;
    GetControlInfo(id, &info);
    EXPECT_EQ(info.effectiveKind, kKindSlider);
    EXPECT_EQ(info.mainId, id);
    EXPECT_EQ(info.minValue, 0);
    EXPECT_EQ(info.maxValue, 100);
    EXPECT_TRUE(info.bitmapId == 101 || info.bitmapId == 102) << id;
    seen.insert(info.partnerEditId);
    ControlInfo edit;
    edit.effectiveKind = 99;
    GetControlInfo(info.partnerEditId, &edit);
    EXPECT_EQ(edit.effectiveKind, kKindNumberEdit);
    EXPECT_EQ(edit.mainId, id);
    EXPECT_EQ(GetControlKind(info.partnerEditId), kKindNumberEdit);
  }
  EXPECT_EQ(sliders, 23);
  EXPECT_EQ(seen, edits);
  // Tracks: the sea-level slider has the second track, the size slider the first.
  ControlInfo info;
  DescribeControl(55, &info);
  EXPECT_EQ(info.bitmapId, 102);
  DescribeControl(37, &info);
  EXPECT_EQ(info.bitmapId, 101);
}

TEST(ControlTable, NonSliderRowsLeaveEffectiveKindAlone) {
  ControlInfo info;
  info.effectiveKind = 42;
  GetControlInfo(7, &info);
  EXPECT_EQ(info.effectiveKind, 42);
  EXPECT_EQ(info.kind, kKindColorSwatch);
  EXPECT_EQ(std::string(GetUiString(info.extra)), "Choose the land color.");
  GetControlInfo(29, &info);
  EXPECT_EQ(std::string(GetUiString(info.extra)), "Choose the city color.");
  // An id without a row: everything empty.
  GetControlInfo(5, &info);
  EXPECT_EQ(info.kind, -1);
  EXPECT_EQ(info.partnerEditId, 65535);
  EXPECT_EQ(info.mainId, 65535);
  EXPECT_EQ(info.bitmapId, -1);
  EXPECT_EQ(info.extra, 0);
  EXPECT_EQ(info.maxValue, 100);
}

TEST(ControlTable, LabelsTheirTextsAndAlignment) {
  struct Case { int id; const char *text; int align; };
  const Case cases[] = {
      {4, "Sunset", kAlignRight},      {15, "Height", kAlignRight},   {23, "Real Luna", kAlignLeft},
      {40, "Axis", kAlignCentre},      {46, "Storm spin", kAlignRight}, {49, "Real clouds", kAlignLeft},
      {53, "Backlighting", kAlignLeft}, {70, "Lunar climate", kAlignLeft}, {102, "Land texture", kAlignRight},
      {113, "Coriolis", kAlignRight},  {146, "Map mode", kAlignRight}, {97, "Coverage", kAlignRight},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(std::string(GetUiString(GetLabelStringId(c.id))), c.text) << c.id;
    EXPECT_EQ(GetLabelAlignment(c.id), c.align) << c.id;
  }
  EXPECT_EQ(GetLabelStringId(76), -1);
  EXPECT_EQ(GetLabelAlignment(76), kAlignCentre);
  EXPECT_EQ(std::string(GetUiString(0)), "-undef string-");
  EXPECT_EQ(std::string(GetUiString(46)), "-undef string-");
  EXPECT_EQ(std::string(GetUiString(-5)), "-undef string-");
  EXPECT_EQ(std::string(GetUiString(1)), "E");
  EXPECT_EQ(std::string(GetUiString(30)), "Kivaglobe");
}

TEST(ControlTable, Predicates) {
  EXPECT_TRUE(IsDraggableKind(10));    // slider
  EXPECT_TRUE(IsDraggableKind(100));   // ball
  EXPECT_TRUE(IsDraggableKind(25));    // About picture
  EXPECT_TRUE(IsDraggableKind(121));   // dot
  EXPECT_TRUE(IsDraggableKind(119));   // thumbnail
  EXPECT_FALSE(IsDraggableKind(18));   // the preview is handled on its own
  EXPECT_FALSE(IsDraggableKind(7));
  EXPECT_FALSE(IsDraggableKind(73));
  EXPECT_FALSE(IsDraggableKind(77));
  EXPECT_FALSE(IsDraggableKind(48));
  EXPECT_TRUE(IsComboControl(73));
  EXPECT_TRUE(IsMapComboControl(73));
  EXPECT_FALSE(IsListControl(73));
  EXPECT_TRUE(IsIconButtonControl(75));
  EXPECT_TRUE(IsPushButtonControl(3));
  EXPECT_FALSE(IsPushButtonControl(34));
  EXPECT_TRUE(IsCheckBoxControl(105));
  EXPECT_TRUE(IsEditControl(115));
  EXPECT_FALSE(IsEditControl(114));
}

TEST(ControlLayout, RowsAndAdjustments) {
  auto eq = [](int id, int l, int t, int r, int b) {
    const LayoutRect x = GetDialogLayoutRect(id);
    EXPECT_EQ(x.left, l) << id;
    EXPECT_EQ(x.top, t) << id;
    EXPECT_EQ(x.right, r) << id;
    EXPECT_EQ(x.bottom, b) << id;
  };
  eq(0, 0, 0, 963, 641);
  eq(151, 0, 0, 0, 0);
  eq(-1, 0, 0, 0, 0);
  eq(5, 0, 0, 0, 0);
  eq(37, 130, 20, 265, 32);      // slider
  eq(86, 273, 18, 297, 30);      // its edit, 2 higher
  eq(36, 62, 20, 121, 38);       // its label, 18 high
  eq(114, 746, 474, 881, 486);   // right column
  eq(113, 680, 474, 737, 489);   // right-column label, 15 high
  eq(115, 889, 472, 913, 484);
  eq(24, 61, 479, 122, 495);     // the label placed apart
  eq(3, 887, 600, 949, 629);     // push button: left and top 2 out
  eq(17, 346, 322, 408, 353);    // icon button
  eq(32, 794, 404, 810, 420);
  eq(34, 753, 404, 790, 421);    // the zoom label: left edge only
  eq(73, 128, 605, 243, 640);    // combo: 19 more
  eq(18, 450, 2, 950, 388);
  eq(121, 433, 388, 445, 399);
  eq(145, 549, 411, 561, 422);
  eq(112, 335, 11, 420, 96);
  eq(53, 358, 100, 423, 113);
  const LayoutRect combo = GetPlacementRect(73);
  EXPECT_EQ(combo.bottom, 605 + 641);
  const LayoutRect slider = GetPlacementRect(37);
  EXPECT_EQ(slider.bottom, 32);
}

TEST(ControlLayout, VisibleItemsStayInsideAndDoNotOverlap) {
  std::set<int> hidden(std::begin(kHiddenItemIds), std::end(kHiddenItemIds));
  std::vector<int> visible;
  for (int id = 1; id < kLayoutRowCount; id++) {
    const LayoutRect r = GetDialogLayoutRect(id);
    if (r.right <= r.left) continue;
    if (hidden.count(id) != 0) {
      EXPECT_GE(r.top, 684) << id;
      continue;
    }
    EXPECT_GE(r.left, 0) << id;
    EXPECT_GE(r.top, 0) << id;
    EXPECT_LE(r.right, 963) << id;
    EXPECT_LE(r.bottom, 641) << id;
    visible.push_back(id);
  }
  // Every described control, every partner edit and every dot has a place.
  for (int id = 1; id < 200; id++) {
    if (GetControlKind(id) == kKindNone) continue;
    const LayoutRect r = GetDialogLayoutRect(id);
    EXPECT_GT(r.right, r.left) << id;
  }
  for (size_t i = 0; i < visible.size(); i++) {
    for (size_t j = i + 1; j < visible.size(); j++) {
      const LayoutRect a = GetDialogLayoutRect(visible[i]);
      const LayoutRect b = GetDialogLayoutRect(visible[j]);
      const bool overlap = a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
      // Neighbouring memory dots on the tight bottom of their arc share a pixel corner; their
      // faces are drawn smaller than their hit boxes.
      const bool dots = visible[i] >= 121 && visible[j] <= 145;
      if (!dots) {
        EXPECT_FALSE(overlap) << visible[i] << " and " << visible[j];
      }
    }
  }
}
