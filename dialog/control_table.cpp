// control_table.cpp -- the control rows, the UI strings and the layout (see control_table.h).
#include "dialog/control_table.h"

namespace {

// One row of the control table. Fields left out of a row take the empty values (-1, 65535).
struct ControlRow {
  int16_t id;
  int8_t kind;
  uint16_t edit;          // partner edit of a slider
  int16_t bitmap;         // track or ball background
  int16_t icon;           // ball tip
  int16_t buttonIcon;     // icon of an icon button
  int16_t extra;          // UI string of a label or swatch
  int8_t minValue;        // a label's alignment
};

constexpr uint16_t N = kNoControlId;

// Sliders: edit and track. Labels: string id and alignment. Swatches: prompt string.
constexpr ControlRow kRows[] = {
    {2, kKindPushButton, N, -1, -1, -1, 0, 0},
    {3, kKindPushButton, N, -1, -1, -1, 0, 0},
    {4, kKindLabel, N, -1, -1, -1, 10, kAlignRight},
    {7, kKindColorSwatch, N, -1, -1, -1, 35, 0},
    {8, kKindColorSwatch, N, -1, -1, -1, 36, 0},
    {9, kKindColorSwatch, N, -1, -1, -1, 37, 0},
    {10, kKindSlider, 77, 102, -1, -1, 0, 0},
    {11, kKindSlider, 78, 102, -1, -1, 0, 0},
    {12, kKindSlider, 79, 101, -1, -1, 0, 0},
    {13, kKindSlider, 80, 101, -1, -1, 0, 0},
    {14, kKindColorSwatch, N, -1, -1, -1, 38, 0},
    {15, kKindLabel, N, -1, -1, -1, 8, kAlignRight},
    {17, kKindIconButton, N, -1, -1, 179, 0, 0},
    {19, kKindColorSwatch, N, -1, -1, -1, 40, 0},
    {20, kKindColorSwatch, N, -1, -1, -1, 41, 0},
    {21, kKindCheckBox, N, -1, -1, -1, 0, 0},
    {22, kKindLabel, N, -1, -1, -1, 9, kAlignRight},
    {23, kKindLabel, N, -1, -1, -1, 39, kAlignLeft},
    {24, kKindLabel, N, -1, -1, -1, 5, kAlignRight},
    {25, kKindAboutPicture, N, -1, -1, -1, 0, 0},
    {26, kKindIconButton, N, -1, -1, 241, 0, 0},
    {27, kKindIconButton, N, -1, -1, 225, 0, 0},
    {29, kKindColorSwatch, N, -1, -1, -1, 42, 0},
    {32, kKindIconButton, N, -1, -1, 5, 0, 0},
    {33, kKindIconButton, N, -1, -1, 243, 0, 0},
    {35, kKindIconButton, N, -1, -1, 240, 0, 0},
    {36, kKindLabel, N, -1, -1, -1, 11, kAlignRight},
    {37, kKindSlider, 86, 101, -1, -1, 0, 0},
    {38, kKindLabel, N, -1, -1, -1, 12, kAlignRight},
    {39, kKindSlider, 85, 101, -1, -1, 0, 0},
    {40, kKindLabel, N, -1, -1, -1, 44, kAlignCentre},
    {42, kKindLabel, N, -1, -1, -1, 13, kAlignRight},
    {43, kKindSlider, 87, 101, -1, -1, 0, 0},
    {44, kKindLabel, N, -1, -1, -1, 14, kAlignRight},
    {45, kKindSlider, 88, 101, -1, -1, 0, 0},
    {46, kKindLabel, N, -1, -1, -1, 16, kAlignRight},
    {47, kKindSlider, 89, 101, -1, -1, 0, 0},
    {48, kKindCheckBox, N, -1, -1, -1, 0, 0},
    {49, kKindLabel, N, -1, -1, -1, 3, kAlignLeft},
    {50, kKindLabel, N, -1, -1, -1, 17, kAlignRight},
    {51, kKindSlider, 83, 101, -1, -1, 0, 0},
    {52, kKindCheckBox, N, -1, -1, -1, 0, 0},
    {53, kKindLabel, N, -1, -1, -1, 4, kAlignLeft},
    {54, kKindLabel, N, -1, -1, -1, 27, kAlignRight},
    {55, kKindSlider, 90, 102, -1, -1, 0, 0},
    {56, kKindLabel, N, -1, -1, -1, 28, kAlignRight},
    {57, kKindSlider, 91, 102, -1, -1, 0, 0},
    {58, kKindLabel, N, -1, -1, -1, 18, kAlignRight},
    {59, kKindSlider, 92, 101, -1, -1, 0, 0},
    {60, kKindLabel, N, -1, -1, -1, 19, kAlignRight},
    {61, kKindSlider, 93, 101, -1, -1, 0, 0},
    {62, kKindLabel, N, -1, -1, -1, 22, kAlignRight},
    {63, kKindSlider, 94, 101, -1, -1, 0, 0},
    {64, kKindLabel, N, -1, -1, -1, 23, kAlignRight},
    {65, kKindSlider, 81, 102, -1, -1, 0, 0},
    {66, kKindLabel, N, -1, -1, -1, 24, kAlignRight},
    {67, kKindSlider, 82, 102, -1, -1, 0, 0},
    {68, kKindLabel, N, -1, -1, -1, 25, kAlignRight},
    {69, kKindSlider, 95, 102, -1, -1, 0, 0},
    {70, kKindLabel, N, -1, -1, -1, 43, kAlignLeft},
    {71, kKindIconButton, N, -1, -1, 232, 0, 0},
    {72, kKindIconButton, N, -1, -1, 237, 0, 0},
    {73, kKindComboBox, N, -1, -1, -1, 0, 0},
    {74, kKindIconButton, N, -1, -1, 242, 0, 0},
    {75, kKindIconButton, N, -1, -1, 186, 0, 0},
    {76, kKindLabel, N, -1, -1, -1, -1, kAlignCentre},
    {97, kKindLabel, N, -1, -1, -1, 7, kAlignRight},
    {98, kKindSlider, 99, 102, -1, -1, 0, 0},
    {100, kKindDirectionBall, N, 180, 122, -1, 0, 0},
    {102, kKindLabel, N, -1, -1, -1, 6, kAlignRight},
    {103, kKindSlider, 104, 101, -1, -1, 0, 0},
    {105, kKindCheckBox, N, -1, -1, -1, 0, 0},
    {107, kKindSlider, 108, 102, -1, -1, 0, 0},
    {109, kKindLabel, N, -1, -1, -1, 21, kAlignRight},
    {110, kKindSlider, 111, 101, -1, -1, 0, 0},
    {112, kKindDirectionBall, N, 180, 122, -1, 0, 0},
    {113, kKindLabel, N, -1, -1, -1, 34, kAlignRight},
    {114, kKindSlider, 115, 101, -1, -1, 0, 0},
    {116, kKindIconButton, N, -1, -1, 235, 0, 0},
    {119, kKindDotThumbnail, N, -1, -1, -1, 0, 0},
    {146, kKindLabel, N, -1, -1, -1, 45, kAlignRight},
    {150, kKindIconButton, N, -1, -1, 236, 0, 0},
};

void SetEmpty(ControlInfo *info) {
  info->kind = kKindNone;
  info->bitmapId = -1;
  info->iconId = -1;
  info->spareBitmapId = -1;
  info->buttonIconId = -1;
  info->extra = 0;
  info->minValue = 0;
  info->maxValue = 100;
  info->partnerEditId = kNoControlId;
  info->mainId = kNoControlId;
}

void FillFromRow(const ControlRow &row, ControlInfo *info) {
  info->kind = row.kind;
  info->bitmapId = row.bitmap;
  info->iconId = row.icon;
  info->buttonIconId = row.buttonIcon;
  info->extra = row.extra;
  info->minValue = row.kind == kKindLabel ? row.minValue : 0;
  info->partnerEditId = row.edit;
  info->mainId = uint16_t(row.id);
}

// The row of id as a slider or as a slider's partner edit; *isEdit tells which.
const ControlRow *FindRow(int id, bool *isEdit) {
  *isEdit = false;
  if (id < 0) return nullptr;
  for (const ControlRow &row : kRows) {
    if (row.id == id) return &row;
    if (row.kind == kKindSlider && row.edit == id) {
      *isEdit = true;
      return &row;
    }
  }
  return nullptr;
}

}  // namespace

void DescribeControl(int id, ControlInfo *info) {
  SetEmpty(info);
  bool isEdit = false;
  const ControlRow *row = FindRow(id, &isEdit);
  if (row != nullptr) {
    FillFromRow(*row, info);
  } else if (id >= kIdFirstMemoryDot && id <= kIdLastMemoryDot) {
    // The 25 memory dots share one description: the range stands for 25 rows.
    info->kind = kKindMemoryDot;
    info->mainId = uint16_t(id);
  }
}

void GetControlInfo(int id, ControlInfo *info) {
  bool isEdit = false;
  const ControlRow *row = FindRow(id, &isEdit);
  DescribeControl(id, info);
  if (row != nullptr && row->kind == kKindSlider) info->effectiveKind = isEdit ? kKindNumberEdit : kKindSlider;
}

int32_t GetControlKind(int id) {
  if (id >= kIdFirstMemoryDot && id <= kIdLastMemoryDot) return kKindMemoryDot;
  bool isEdit = false;
  const ControlRow *row = FindRow(id, &isEdit);
  if (row == nullptr) return kKindNone;
  return isEdit ? int32_t(kKindNumberEdit) : int32_t(row->kind);
}

bool IsSliderControl(int id) { return GetControlKind(id) == kKindSlider; }
bool IsDirectionControl(int id) { return GetControlKind(id) == kKindDirectionBall; }
bool IsToggleControl(int id) { return GetControlKind(id) == kKindToggle; }
bool IsCheckBoxControl(int id) { return GetControlKind(id) == kKindCheckBox; }
bool IsRadioMemberControl(int id) { return GetControlKind(id) == kKindRadioMember; }
bool IsEditControl(int id) { return GetControlKind(id) == kKindNumberEdit; }
bool IsKind17Control(int id) { return GetControlKind(id) == kKindReserved17; }
bool IsLabelControl(int id) { return GetControlKind(id) == kKindLabel; }
bool IsSwatchControl(int id) { return GetControlKind(id) == kKindColorSwatch; }
bool IsPushButtonControl(int id) { return GetControlKind(id) == kKindPushButton; }
bool IsIconButtonControl(int id) { return GetControlKind(id) == kKindIconButton; }
bool IsMemoryDotControl(int id) { return GetControlKind(id) == kKindMemoryDot; }
bool IsComboControl(int id) {
  const int32_t k = GetControlKind(id);
  return k == kKindList11 || k == kKindList12 || k == kKindComboBox;
}
bool IsListControl(int id) {
  const int32_t k = GetControlKind(id);
  return k == kKindList11 || k == kKindList12;
}
bool IsMapComboControl(int id) { return GetControlKind(id) == kKindComboBox; }

bool IsDraggableKind(int id) {
  switch (GetControlKind(id)) {
    case 0: case 9: case 10: case 14: case 17: case 18: case 19: case 22: case 23: case 25: case 26:
      return true;
    default:
      return false;
  }
}

int32_t GetLabelAlignment(int id) {
  ControlInfo info;
  DescribeControl(id, &info);
  return info.minValue;
}

int32_t GetLabelStringId(int id) {
  ControlInfo info;
  DescribeControl(id, &info);
  return info.extra;
}

const char *GetUiString(int id) {
  static const char *const kStrings[] = {
      nullptr,
      "E",
      "Auto preview",
      "Real clouds",
      "Backlighting",
      "Shadows",
      "Land texture",
      "Coverage",
      "Height",
      "Depth",
      "Sunset",
      "Size",
      "Complexity",
      "Storm size",
      "Storm count",
      "Storm spacing",
      "Storm spin",
      "Brightness",
      "Crater count",
      "Crater size",
      "*",
      "Viscosity",
      "Crater texture",
      "Ice",
      "Texture",
      "Edges",
      "Swirl",
      "Sea level",
      "Desert",
      "Kivaglobe",
      "Kivaglobe",
      "An error occurred while translating a document on a locked disk.",
      "An error occurred while translating a document.",
      "random settings",
      "Coriolis",
      "Choose the land color.",
      "Choose the air color.",
      "Choose the water color.",
      "Choose the cloud color.",
      "Real Luna",
      "Choose the desert color.",
      "Choose the ice color.",
      "Choose the city color.",
      "Lunar climate",
      "Axis",
      "Map mode",
  };
  if (id < 1 || id >= int(sizeof kStrings / sizeof kStrings[0])) return "-undef string-";
  return kStrings[id];
}

// ---- Layout ----------------------------------------------------------------------------------

namespace {

struct LayoutRow {
  int16_t id;
  int16_t left, top, right, bottom;
};

// A slider row of the left or right column: slider, edit and label rectangles.
struct SliderPlace {
  int16_t slider, edit, label, top;
  bool right;
};

constexpr SliderPlace kSliderPlaces[] = {
    {37, 86, 36, 20, false},   {39, 85, 38, 43, false},   {103, 104, 102, 66, false},
    {59, 92, 58, 89, false},   {61, 93, 60, 112, false},  {63, 94, 62, 135, false},
    {65, 81, 64, 203, false},  {57, 91, 56, 226, false},  {55, 90, 54, 249, false},
    {12, 79, 22, 316, false},  {51, 83, 50, 339, false},  {13, 80, 4, 362, false},
    {98, 99, 97, 410, false},  {69, 95, 68, 433, false},  {11, 78, 15, 456, false},
    {10, 77, 24, 479, false},  {67, 82, 66, 502, false},  {107, 108, 106, 566, false},
    {114, 115, 113, 474, true}, {110, 111, 109, 497, true}, {45, 88, 44, 520, true},
    {43, 87, 42, 542, true},   {47, 89, 46, 565, true},
};

// Every other row, as (left, top, right, bottom).
constexpr LayoutRow kPlainRows[] = {
    {0, 0, 0, 963, 641},
    // Colour swatches.
    {7, 308, 16, 328, 36}, {20, 308, 199, 328, 219}, {19, 308, 222, 328, 242}, {9, 308, 245, 328, 265},
    {8, 308, 335, 328, 355}, {14, 308, 406, 328, 426}, {29, 308, 561, 328, 581},
    // Icon buttons.
    {17, 348, 324, 408, 353}, {71, 348, 363, 408, 392}, {35, 348, 402, 408, 431}, {26, 348, 441, 408, 470},
    {74, 348, 480, 408, 509}, {72, 348, 519, 408, 548}, {75, 348, 558, 408, 587}, {27, 348, 597, 408, 626},
    // Check boxes and their labels.
    {21, 130, 158, 144, 172}, {23, 150, 160, 215, 175}, {105, 130, 272, 144, 286}, {70, 151, 274, 216, 289},
    {48, 130, 524, 144, 538}, {49, 151, 526, 216, 541}, {52, 337, 97, 351, 111}, {53, 358, 100, 423, 113},
    // Direction balls.
    {112, 335, 11, 420, 96}, {100, 335, 191, 420, 276}, {40, 335, 280, 420, 293},
    // Preview, settings name, info, zoom, gallery.
    {18, 450, 2, 950, 388}, {76, 589, 436, 948, 453}, {116, 589, 404, 611, 426},
    {33, 736, 406, 750, 420}, {34, 755, 404, 790, 421}, {32, 796, 406, 810, 420}, {150, 934, 404, 948, 419},
    // Memory-dot thumbnail.
    {119, 451, 404, 547, 494},
    // Bottom row.
    {25, 15, 600, 47, 632}, {146, 64, 610, 123, 628}, {73, 128, 605, 243, 621},
    {2, 589, 602, 649, 629}, {3, 889, 602, 949, 629},
    // A plain static item.
    {101, 14, 20, 49, 55},
};

// Top-left corners of the 25 memory dots, ids 121..145; each is 12 x 11.
constexpr int16_t kDotCorners[kMemoryDotCount][2] = {
    {433, 388}, {437, 400}, {437, 412}, {433, 425}, {429, 438}, {425, 451}, {425, 464},
    {429, 476}, {436, 487}, {444, 497}, {455, 505}, {467, 514}, {480, 520}, {495, 524},
    {510, 524}, {524, 520}, {537, 514}, {549, 505}, {558, 493}, {564, 480}, {568, 465},
    {568, 450}, {564, 436}, {558, 423}, {549, 411},
};

LayoutRect Make(int32_t l, int32_t t, int32_t r, int32_t b) { return LayoutRect{l, t, r, b}; }

// The row before the adjustments of its kind.
LayoutRect RawLayoutRow(int id) {
  if (id < 0 || id >= kLayoutRowCount) return Make(0, 0, 0, 0);
  for (const LayoutRow &row : kPlainRows)
    if (row.id == id) return Make(row.left, row.top, row.right, row.bottom);
  for (const SliderPlace &s : kSliderPlaces) {
    const int32_t sl = s.right ? 746 : 130, sr = s.right ? 881 : 265;
    const int32_t el = s.right ? 889 : 273, er = s.right ? 913 : 297;
    const int32_t ll = s.right ? 680 : 62, lr = s.right ? 737 : 121;
    if (id == s.slider) return Make(sl, s.top, sr, s.top + 12);
    if (id == s.edit) return Make(el, s.top - 2, er, s.top + 10);
    if (id == s.label) {
      if (id == 24) return Make(61, 479, 122, 495);   // the one label placed apart
      return Make(ll, s.top, lr, s.top + (s.right ? 15 : 18));
    }
  }
  if (id >= kIdFirstMemoryDot && id <= kIdLastMemoryDot) {
    const int16_t *c = kDotCorners[id - kIdFirstMemoryDot];
    return Make(c[0], c[1], c[0] + 12, c[1] + 11);
  }
  // Items without role sit below the client area, one under the other.
  int n = 0;
  for (int hidden : kHiddenItemIds) {
    if (hidden == id) return Make(0, 684 + 12 * n, 10, 694 + 12 * n);
    n++;
  }
  return Make(0, 0, 0, 0);
}

}  // namespace

LayoutRect GetDialogLayoutRect(int id) {
  LayoutRect r = RawLayoutRow(id);
  if (id < 0 || id >= kLayoutRowCount) return r;
  const int32_t kind = GetControlKind(id);
  if (kind == kKindPushButton || kind == kKindIconButton) {
    r.left -= 2;
    r.top -= 2;
  }
  // The zoom label has no row of its own kind; its left edge alone moves out by 2 (read as
  // 2 in all, not 4: it never received the button adjustment it would add to).
  if (id == kIdZoomLabel) r.left -= 2;
  if (kind == kKindList11 || kind == kKindList12 || kind == kKindComboBox) r.bottom += 19;
  return r;
}

LayoutRect GetPlacementRect(int id) {
  LayoutRect r = GetDialogLayoutRect(id);
  if (IsComboControl(id)) r.bottom = r.top + kDialogClientHeight;
  return r;
}
