// Fuzz targets: the source-list reader (KV_FUZZ_LIST) and the cloud-cache reader, over any
// bytes written as the file of the temporary folder. Neither may crash, leak, read past its
// buffers, allocate beyond the caps, or change the run's table or picture unless the file is
// whole; a picture that loads must agree with its header.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "clouds/cloud_files.h"
#include "foundation/file_locations.h"
#include "imagestore/image_store.h"
#include "plugin/globals.h"

namespace {

std::string gFolder;

uint32_t FuzzTempFolder(char *buffer, uint32_t size) {
  if (gFolder.size() + 1 > size) return uint32_t(gFolder.size() + 1);
  std::memcpy(buffer, gFolder.c_str(), gFolder.size() + 1);
  return uint32_t(gFolder.size());
}

struct Harness {
  FilterRecord record{};
  ParameterBlock *block = nullptr;
  char *master = nullptr;
  PluginGlobals globals{};
  int16_t result = 0;
  RunState *run = nullptr;
};

Harness *Make() {
  char name[] = "/tmp/kv-fuzz-clouds-XXXXXX";
  if (mkdtemp(name) == nullptr) std::abort();
  gFolder = std::string(name) + "\\";
  for (char &c : gFolder) c = c == '/' ? '\\' : c;
  SetTempFolderProc(FuzzTempFolder);
  auto *h = new Harness;
  h->block = static_cast<ParameterBlock *>(std::calloc(1, sizeof(ParameterBlock)));
  h->master = reinterpret_cast<char *>(h->block);
  h->record.parameters = &h->master;
  h->globals.filterRecord = &h->record;
  h->globals.resultPtr = &h->result;
  h->run = static_cast<RunState *>(std::calloc(1, sizeof(RunState)));
  h->globals.runState = h->run;
  InitImageRecord(&h->globals.imageSet[0], nullptr, &h->globals, nullptr);
  return h;
}

void WriteFile(const char *name, const uint8_t *data, size_t size) {
  FileSpec spec{};
  TempFileSpec(&spec, name);
  std::string path = spec.path;
  for (char &c : path) c = c == '\\' ? '/' : c;
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static Harness *h = Make();
  if (size > (1u << 20)) return 0;
#ifdef KV_FUZZ_LIST
  static CloudSource before[kCloudSourceCount];
  std::memcpy(before, h->run->cloudSources, sizeof before);
  const int32_t versionBefore = h->run->listVersion;
  WriteFile(kCloudListName, data, size);
  const int16_t result = ReadCloudSourceList(&h->globals);
  if (result != 0) {
    if (std::memcmp(before, h->run->cloudSources, sizeof before) != 0 || versionBefore != h->run->listVersion) std::abort();
  } else {
    for (const CloudSource &s : h->run->cloudSources) {
      if (std::strlen(s.url) > 259 || std::strlen(s.label) > 259) std::abort();
    }
    CloudSource resolved;
    for (int32_t i = 0; i < kCloudSourceCount; i++) ResolveCloudSourceAt(i, &resolved, &h->globals, UtcDateHour{2009, 3, 1, 14});
  }
#else
  WriteFile("Kivaglobe cached clouds 03", data, size);
  ReadCloudCache(&h->globals, 3);
  const CloudHeader &c = h->run->cloudHeader;
  if (c.loaded) {
    const TiledMipImage &image = h->globals.imageSet[0];
    if (image.baseWidth != c.imageWidth || image.baseHeight != c.imageHeight) std::abort();
    if (!(c.spanU > 0.0f) || !(c.spanV > 0.0f)) std::abort();
    if (WriteCloudCache(&h->globals, 4) != 0) std::abort();
  }
#endif
  return 0;
}
