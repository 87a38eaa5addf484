// cloud_import.cpp -- GIF and JPEG pictures into the cloud image.
#include "clouds/cloud_import.h"

#include "clouds/cloud_files.h"
#include "files/jpeg_codec.h"
#include "files/jpeg_files.h"
#include "foundation/file_locations.h"
#include "foundation/strings.h"
#include "imagestore/image_store.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "plugin/globals.h"

// A GIF and a JPEG cloud picture are bounded alike.
static_assert(kMaxCloudPicturePixels == kJpegMaxPixels, "one pixel bound for both kinds of cloud picture");

namespace {

void BindLike(TiledMipImage *fresh, const TiledMipImage *image) {
  InitImageRecord(fresh, image->hostBufferProcs, image->owner, image->kernelTable);
}

// The new image replaces the cloud image; the header takes its size and the box.
void InstallCloudImage(PluginGlobals *globals, TiledMipImage *fresh, int32_t index, const float box[4]) {
  TiledMipImage *image = &globals->imageSet[0];
  FreeImageTiles(image);
  *image = *fresh;
  CloudHeader &h = globals->runState->cloudHeader;
  h.imageWidth = image->baseWidth;
  h.imageHeight = image->baseHeight;
  h.boxX = box[0];
  h.boxWidth = box[1];
  h.boxY = box[2];
  h.boxHeight = box[3];
  SetCloudHeaderSpans(globals);
  h.sourceIndex = index;
  h.loaded = 1;
}

// The source's box, or the whole picture when the source gives one without area (a list may).
void SourceBox(const CloudSource *source, int32_t width, int32_t height, float box[4]) {
  const bool usable = source->boxWidth > 0.0f && source->boxHeight > 0.0f;
  box[0] = usable ? source->boxX : 0.0f;
  box[1] = usable ? source->boxWidth : float(width);
  box[2] = usable ? source->boxY : 0.0f;
  box[3] = usable ? source->boxHeight : float(height);
}

bool IsOverlay(int32_t index, int32_t overlay1, int32_t overlay2) { return index == overlay1 || index == overlay2; }

// trunc() of a box coordinate, kept inside 0..limit so that a box beyond the picture (a list's
// values, a server that changed its picture size) reaches no pixel outside it.
int32_t BoxEdge(float v, int32_t limit) {
  if (!(v > 0.0f)) return 0;
  if (v >= float(limit)) return limit;
  return int32_t(v);
}

}  // namespace

int32_t CloudValueFromGray(float g, float blackLevel, float whiteLevel) {
  float range = whiteLevel - blackLevel;
  if (range == 0.0f) range = 1.0f;
  float v = (g - blackLevel) / range;
  if (!(v > 0.0f)) v = 0.0f;
  if (v > 1.0f) v = 1.0f;
  return int32_t(v * 255.0f);
}

int32_t FillFromNeighbours(PluginGlobals *globals, int32_t overlay1, int32_t overlay2, GifPicture *picture,
                           TiledMipImage *cloud, int32_t x, int32_t y) {
  static const int32_t kOffsets[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
  int32_t sum = 0;
  int32_t count = 0;
  const int32_t lastX = cloud->baseWidth - 1;
  const int32_t lastY = cloud->baseHeight - 1;
  for (const auto &o : kOffsets) {
    const int32_t nx = x + o[0];
    const int32_t ny = y + o[1];
    if (IsOverlay(GifPixelIndex(picture, nx, ny), overlay1, overlay2)) continue;
    const int32_t cx = nx < 0 ? 0 : (nx > lastX ? lastX : nx);
    const int32_t cy = ny < 0 ? 0 : (ny > lastY ? lastY : ny);
    sum += GetPixelGray8(cx, cy, cloud, 0);
    count++;
  }
  if (count == 0) return 1;
  PutPixelGray8Checked(x, y, cloud, 0, sum / count);
  SetGifPixel(picture, x, y, globals->overlayReplacementIndex);
  return 0;
}

void RemoveOverlayColors(PluginGlobals *globals, int32_t overlay1, int32_t overlay2, GifPicture *picture,
                         TiledMipImage *cloud, const float box[4]) {
  int32_t replacement = 0;
  while (IsOverlay(replacement, overlay1, overlay2)) replacement++;
  globals->overlayReplacementIndex = replacement;
  const int32_t x0 = BoxEdge(box[0], picture->width);
  const int32_t x1 = BoxEdge(box[0] + box[1] - 1.0f, picture->width);
  const int32_t y0 = BoxEdge(box[2], picture->height);
  const int32_t y1 = BoxEdge(box[2] + box[3] - 1.0f, picture->height);
  for (int32_t pass = 0; pass < 4; pass++) {
    int32_t unresolved = 0;
    for (int32_t y = y0; y < y1; y++) {
      for (int32_t x = x0; x < x1; x++) {
        if (IsOverlay(GifPixelIndex(picture, x, y), overlay1, overlay2)) {
          unresolved += FillFromNeighbours(globals, overlay1, overlay2, picture, cloud, x, y);
        }
      }
    }
    if (unresolved == 0) break;
  }
}

void DetectDiscBox(const TiledMipImage *cloud, int32_t t, float box[4]) {
  const int32_t width = cloud->baseWidth;
  const int32_t height = cloud->baseHeight;
  auto columnCount = [&](int32_t x) {
    int32_t n = 0;
    for (int32_t y = 0; y < height; y++) n += GetPixelGray8(x, y, cloud, 0) < t ? 1 : 0;
    return n;
  };
  auto rowCount = [&](int32_t y) {
    int32_t n = 0;
    for (int32_t x = 0; x < width; x++) n += GetPixelGray8(x, y, cloud, 0) < t ? 1 : 0;
    return n;
  };
  int32_t x = 0;
  for (; x < width; x++) {
    box[0] = float(x);
    if (columnCount(x) >= 5) break;
  }
  for (x = width - 1; x >= 0; x--) {
    box[1] = float(x) - box[0];
    if (columnCount(x) >= 5) break;
  }
  int32_t y = 0;
  for (; y < height; y++) {
    box[2] = float(y);
    if (rowCount(y) >= 5) break;
  }
  for (y = height - 1; y >= 0; y--) {
    box[3] = float(y) - box[2];
    if (rowCount(y) >= 5) break;
  }
}

int16_t ImportGifCloudImage(int32_t index, const FileSpec *spec, const CloudSource *source, PluginGlobals *globals) {
  FileHandle file = kNoFile;
  const int16_t opened = OpenFileSpec(spec, &file, kOpenForRead);
  if (opened != kSpecOk) return opened;
  GifPicture *picture = DecodeGif(file);
  ClosePlatformFile(file);
  // A screen that its pixel data does not cover is no picture: a few bytes that claim
  // 4096 x 4096 pixels would otherwise import, be cached and be read before every preview as
  // a field of zeros.
  if (picture != nullptr && !picture->whole) {
    FreeGifPicture(picture);
    picture = nullptr;
  }
  if (picture == nullptr) return kImportNoGif;

  TiledMipImage fresh;
  BindLike(&fresh, &globals->imageSet[0]);
  if (!CreateImage(&fresh, picture->width, picture->height, kFormatGray8, 0)) {
    FreeGifPicture(picture);
    return kImportNoGif;
  }
  const float inv255 = 1.0f / 255.0f;
  for (int32_t y = 0; y < picture->height; y++) {
    for (int32_t x = 0; x < picture->width; x++) {
      const float g = float(picture->green[GifPixelIndex(picture, x, y)]) * inv255;
      PutPixelGray8Checked(x, y, &fresh, 0, CloudValueFromGray(g, source->blackLevel, source->whiteLevel));
    }
  }
  float box[4];
  SourceBox(source, picture->width, picture->height, box);
  if ((source->flags & kCloudRemoveOverlay) != 0) {
    RemoveOverlayColors(globals, source->overlayIndex1, source->overlayIndex2, picture, &fresh, box);
  }
  if ((source->flags & kCloudDetectDisc) != 0) {
    float found[4];
    DetectDiscBox(&fresh, int32_t(source->threshold * 255.0f), found);
    // A picture without a recognisable disc keeps the source's box.
    if (found[1] > 0.0f && found[3] > 0.0f) {
      for (int i = 0; i < 4; i++) box[i] = found[i];
    }
  }
  FreeGifPicture(picture);
  RebuildAllLevels(&fresh);
  InstallCloudImage(globals, &fresh, index, box);
  return kImportOk;
}

bool GrayLevelsFromRgb(const TiledMipImage *colour, TiledMipImage *cloud, const Rect16 *rect, const CloudSource *source) {
  const int32_t width = int32_t(rect->right) - int32_t(rect->left);
  const int32_t height = int32_t(rect->bottom) - int32_t(rect->top);
  if (!CreateImage(cloud, width, height, kFormatGray8, 0)) return false;
  const float inv255 = 1.0f / 255.0f;
  const int32_t lastX = colour->levelMaxX[0];
  const int32_t lastY = colour->levelMaxY[0];
  for (int32_t y = 0; y < height; y++) {
    for (int32_t x = 0; x < width; x++) {
      int32_t c0, c1, c2, c3;
      GetPixelPacked8(x > lastX ? lastX : x, y > lastY ? lastY : y, colour, 0, &c0, &c1, &c2, &c3);
      const int32_t grey = (77 * c0 + 150 * c1 + 28 * c2) >> 8;
      PutPixelGray8Checked(x, y, cloud, 0,
                           CloudValueFromGray(float(grey) * inv255, source->blackLevel, source->whiteLevel));
    }
  }
  return true;
}

int16_t ImportJpegCloudImage(int32_t index, const FileSpec *spec, const CloudSource *source, PluginGlobals *globals) {
  TiledMipImage *image = &globals->imageSet[0];
  TiledMipImage colour;
  BindLike(&colour, image);
  // A download cut short is refused, not shown with grey rows: an error page saved under a
  // picture's name, or a stream that ends early, leaves the previous clouds.
  const int16_t loaded = LoadWholeJpegFileImage(spec, &colour, globals);
  if (loaded != 0 || colour.tileCount == 0 || colour.baseWidth < 1 || colour.baseHeight < 1 ||
      colour.baseWidth > kMaxCloudPictureSide || colour.baseHeight > kMaxCloudPictureSide) {
    FreeImageTiles(&colour);
    return kImportNoJpeg;
  }
  TiledMipImage fresh;
  BindLike(&fresh, image);
  Rect16 rect;
  GetLevelRect(&colour, 0, &rect);
  const bool made = GrayLevelsFromRgb(&colour, &fresh, &rect, source);
  FreeImageTiles(&colour);
  if (!made) return kImportNoJpeg;
  RebuildAllLevels(&fresh);
  float box[4];
  SourceBox(source, fresh.baseWidth, fresh.baseHeight, box);
  InstallCloudImage(globals, &fresh, index, box);
  return kImportOk;
}

int16_t ImportCloudImage(int32_t index, const FileSpec *spec, const CloudSource *source, PluginGlobals *globals) {
  return ImportCloudImageNamed(index, spec, spec->path, source, globals);
}

int16_t ImportCloudImageNamed(int32_t index, const FileSpec *spec, const char *name, const CloudSource *source,
                              PluginGlobals *globals) {
  int16_t result = kImportNoGif;
  bool any = false;
  if (IsGifName(name)) {
    result = ImportGifCloudImage(index, spec, source, globals);
    any = result == kImportOk;
  }
  if (IsJpegName(name)) {
    const int16_t jpeg = ImportJpegCloudImage(index, spec, source, globals);
    if (!any) result = jpeg;
  }
  return result;
}
