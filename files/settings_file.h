// settings_file.h -- the planet's settings file: presets (".q1q"), the cached settings, the
// undo files and the memory dots all share this one format.
//
// A settings file is a run of big-endian 32-bit words without a magic number: the format
// version (40), the parameters in the order of settings_fields.h (colours widened to 32 bits,
// check boxes as whole words, light and axis x 100, the map centre x 65536, both truncated
// toward zero), and at the end the thumbnail block:
//
//     word 0   block version 1, or 0 and nothing follows (no thumbnail)
//     word 1   picture width (at least 16)
//     word 2   picture height (at least 16)
//     word 3   byte count N
//     N bytes  a complete JPEG stream, not padded
//
// The reader takes every version from 1 to 40 and brings older values up to date field by
// field. Versions 22 to 39 carry, instead of the thumbnail block, a legacy picture block in
// the middle: a non-zero word, two size words (the first, clamped to 0..128, is taken as both
// width and height) and the picture as rows of RGB byte triples.
//
// Nothing here applies half a file. The reader reads into a scratch copy of the parameters
// and applies it only when every word of the file's fixed part (all but the thumbnail block)
// was read; an empty, truncated or unknown-version file changes nothing. The thumbnail is
// taken only from a complete, decodable block. The writer never destroys the file it
// replaces: it writes a new file beside it and puts it in place only when every write went
// through.
#ifndef KIVAGLOBE_FILES_SETTINGS_FILE_H
#define KIVAGLOBE_FILES_SETTINGS_FILE_H

#include <cstdint>

#include "files/jpeg_markers.h"
#include "foundation/file_locations.h"
#include "imagestore/image_store.h"
#include "plugin/host_interface.h"

struct PluginGlobals;
struct ParameterBlock;

constexpr uint32_t kSettingsFileVersion = 40;
constexpr int32_t kThumbnailSide = 128;            // the thumbnail image is 128 x 128
constexpr int32_t kThumbnailQuality = 80;
constexpr int32_t kThumbnailBufferSize = 49152;    // the largest thumbnail stream read
constexpr int32_t kLegacyPictureMaxSide = 128;

// Modes of WriteSettings.
enum : int16_t {
  kSettingsDescriptorMode = 0,   // the host's scripting descriptor (built with the scripting)
  kSettingsFileMode = 1,
};

// Modes of ReadSettingsFile.
enum : int16_t {
  kReadSettingsApply = 0,        // apply the values to the ParameterBlock
  kReadSettingsThumbnail = 1,    // only reach the picture; the ParameterBlock stays as it is
};

enum : int16_t {
  kSettingsOpenFailed = 99,      // the file could not be opened (nothing changed or written)
  kSettingsIncomplete = -19,     // empty, truncated or of an unknown version: nothing applied
  kSettingsWriteFailed = -20,    // a write failed: the previous file is left as it was
};

// Brings the values of a file into what the dialog itself can hold and write: sliders 0..100
// (air depth of a file before version 24 up to 333, what its rescaling gives), output mode
// 1..14 (any other the planet, 1), light and axis near unit length (one whose length is
// outside 0.9..1.1 scaled to 1, a zero vector the default direction), map centre 0..1. Check
// boxes are left alone: the dialog shows any value but 0 as checked, and the renderer reads
// them so. What the dialog wrote reads unchanged: its vectors come back within the truncation
// of the file's x 100 and are kept as they are. The reader applies it before any value is
// used; `version` is the file's.
void ClampSettingsFields(ParameterBlock *s, uint32_t version);

// ---- Writing -------------------------------------------------------------------------------

// Mode kSettingsFileMode writes the settings to an open file (from its current position) and
// returns the thumbnail block's result: 0, -20 (a failed write), or 1..3, -108 and kJpegFailed
// from WriteImageAsJpeg (the file is complete then, without a picture). Mode kSettingsDescriptorMode puts the 59 keyed values into the host's open
// write descriptor (file unused) and returns 0. The ParameterBlock holds settingsVersion 1
// afterwards. Other modes write nothing and return 99.
int16_t WriteSettings(PluginGlobals *globals, FileHandle file, int16_t mode, HostDescriptorRef descriptor);

// The descriptor mode alone: what Finish calls through the frame's file hooks.
int16_t WriteDescriptorSettings(PluginGlobals *globals, HostDescriptorRef descriptor);

// Writes the current settings to the file named by spec: into "<path>.new" first, which then
// replaces the file (when the path leaves no room for the suffix, into a side file of the same
// length whose name ends in '~', '_' or '!' instead of the name's last character). A file whose attributes refuse writing is left alone (99). Results: 0;
// kSettingsOpenFailed; kSettingsWriteFailed when a write, the close or the replacement failed
// (the previous file is then untouched and the new one removed).
int16_t SaveSettingsFile(PluginGlobals *globals, const FileSpec *spec);

// The thumbnail block: the thumbnail image (workImage) as a width x height JPEG at `quality`
// with the optional metadata, behind its header words (headerFlag). Without a thumbnail image,
// or when the scratch picture cannot be made, the single word 0 (with headerFlag) and 0.
int16_t WriteThumbnailBlock(PluginGlobals *globals, FileHandle file, bool headerFlag, int32_t width, int32_t height,
                            int32_t quality, IptcBuilder *iptc, ExifBuffer *exif);

// The legacy picture block as version 40 writes it: the single word 0.
int16_t WriteEmptyPictureBlock(PluginGlobals *globals, FileHandle file);

// ---- Reading -------------------------------------------------------------------------------

// Reads one settings file in the given mode. *found (when given) is set when a thumbnail or a
// legacy picture was taken into the thumbnail image. Results: 0; kSettingsOpenFailed;
// kSettingsIncomplete. Fields the file does not carry keep their values.
int16_t ReadSettingsFile(PluginGlobals *globals, const FileSpec *spec, int16_t mode, bool *found);

// True when the file is a whole preset of its version, as the batch refresh requires before it
// writes over a file: a version word from 1 to 40, every word of that version's fixed part, its
// picture (versions 22 to 39) or thumbnail block (40) complete, and not one byte after them.
// Nothing is applied; the thumbnail image is not touched.
bool SettingsFileIsWholePreset(PluginGlobals *globals, const FileSpec *spec);

// Mode kReadSettingsApply readers: the first reads directly, the second through
// ReadSettingsMode, which only forwards its mode.
int16_t ReadSettingsApply(PluginGlobals *globals, const FileSpec *spec);
int16_t ReloadSettingsFile(PluginGlobals *globals, const FileSpec *spec);
int16_t ReadSettingsMode(PluginGlobals *globals, const FileSpec *spec, int16_t mode);

// The thumbnail block from the file's position. The recorded thumbnail size is cleared, then
// set from the block's width (clamped to 0..128) for both sides. A block of version 1 whose
// byte count N is 1..49152 is read and decoded into the thumbnail image (through a scratch
// picture, so that a stream that does not decode leaves the thumbnail as it was; *found is
// then set); any other block is skipped. A stream whose frame is larger than the block's
// clamped width and height is not decoded. 0, or -19 when the block is cut short.
int16_t ReadThumbnailBlock(PluginGlobals *globals, FileHandle file, bool *found);

// The legacy picture block from the file's position into `picture` (a bound record, made here
// at the block's size in format 3): *found is set only when every pixel was read. A block that
// cannot be kept is skipped by exactly its width x height x 3 bytes. *side receives the
// clamped size (0 when the block is empty). 0 or -19.
int16_t ReadLegacyPicture(PluginGlobals *globals, FileHandle file, TiledMipImage *picture, int32_t *side,
                          bool *found);

#endif  // KIVAGLOBE_FILES_SETTINGS_FILE_H
