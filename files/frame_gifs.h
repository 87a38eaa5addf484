// frame_gifs.h -- the four frame images of the gallery pages (top, left, right, bottom), as
// the bytes of GIF files that the page writer puts beside every page. frame_gifs.cpp is made
// by tools/make_frame_gifs.py.
#ifndef KIVAGLOBE_FILES_FRAME_GIFS_H
#define KIVAGLOBE_FILES_FRAME_GIFS_H

#include <cstdint>

struct FrameGif {
  const char *name;      // "top.gif", ...
  const uint8_t *bytes;
  int32_t size;
};

constexpr int32_t kFrameGifCount = 4;
extern const FrameGif kFrameGifs[kFrameGifCount];   // top, left, right, bottom

#endif  // KIVAGLOBE_FILES_FRAME_GIFS_H
