// psd_export_tool.cpp -- writes layered documents through the export progress box, for the
// independent readers of psd_readers_check.sh (natively and under Wine in both Windows trees).
//
//   psd_export_tool OUTDIR WIDTH HEIGHT [--shots] [NAME=VALUE ...]
//
// Writes OUTDIR/layers8.psd, layers16.psd and layers32.psd (the default planet, with a small
// ICC profile from the host), and OUTDIR/litmap8.png, the lit map rendered the ordinary way into
// the host's output, to compare with the first layer. With --shots (Windows) it also saves the
// box as OUTDIR/box_half.bmp at about 50% and OUTDIR/box_cancel.bmp after its button was pressed,
// and checks that the cancelled export left nothing. Exit status 0 when every export did what
// it should. NAME=VALUE settings (those of render_planet) change the planet of every export.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/harness_settings.h"
#include "bench/render_harness.h"
#include "files/progress_box.h"
#include "files/psd_export.h"
#include "plugin/output_passes.h"
#include "tests/files/psd_box_shots.h"

namespace {

// A display profile (ICC 2.1, RGB, XYZ, D50) with one tag, the media white point: enough for a
// reader to name it.
std::vector<uint8_t> SmallProfile() {
  std::vector<uint8_t> p(164, 0);
  auto put32 = [&p](size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) p[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
  };
  put32(0, 164);
  p[8] = 0x02;
  p[9] = 0x10;
  std::memcpy(&p[12], "mntr", 4);
  std::memcpy(&p[16], "RGB ", 4);
  std::memcpy(&p[20], "XYZ ", 4);
  std::memcpy(&p[36], "acsp", 4);
  put32(68, 0x0000F6D6);   // the D50 illuminant
  put32(72, 0x00010000);
  put32(76, 0x0000D32D);
  put32(128, 1);
  std::memcpy(&p[132], "wtpt", 4);
  put32(136, 144);
  put32(140, 20);
  std::memcpy(&p[144], "XYZ ", 4);
  put32(152, 0x0000F6D6);
  put32(156, 0x00010000);
  put32(160, 0x0000D32D);
  return p;
}

int Export(const std::string &dir, int width, int height, int depth, const std::vector<uint8_t> &profile,
           bool shots, const std::vector<const char *> &settings) {
  HarnessOptions options;
  options.width = width;
  options.height = height;
  options.depth = depth == 8 ? 8 : 16;
  RenderHarness harness;
  if (!OpenHarness(&harness, options)) return 1;
  for (const char *setting : settings) ApplyHarnessSetting(HarnessParameters(&harness), setting);
  if (depth == 32) {
    harness.record.imageMode = kModeRGB96;
    harness.record.depth = 32;
  }
  char *master = reinterpret_cast<char *>(const_cast<uint8_t *>(profile.data()));
  harness.record.iCCprofileData = &master;
  harness.record.iCCprofileSize = int32_t(profile.size());
  InitImageRecord(&harness.globals->runState->exportImage, nullptr, harness.globals,
                  &harness.globals->runState->kernelTable);

  int failures = 0;
  FileSpec spec{};
  std::string path = dir + "/layers" + std::to_string(depth) + ".psd";
  SetFileSpecText(&spec, path.c_str(), int32_t(path.size() + 1));
  uint8_t cancelled = 1;
  int16_t result = RunProgressDialog(harness.globals, &spec, &cancelled, kJobLayeredDocument);
  if (result != 0 || cancelled != 0) {
    std::printf("FAIL: %d-bit export returned %d (cancelled %d)\n", depth, result, cancelled);
    failures++;
  }

  if (depth == 8) {
    HarnessImage lit;
    ResetHarness(&harness, width, height);
    for (const char *setting : settings) ApplyHarnessSetting(HarnessParameters(&harness), setting);
    HarnessParameters(&harness)->outputMode = 3;
    if (!RenderHarnessImage(&harness, &lit) || !WriteHarnessPng((dir + "/litmap8.png").c_str(), lit)) failures++;
    HarnessParameters(&harness)->outputMode = 1;
  }

  if (shots) {
    // A second export into another name, pressed at about half way: nothing may be left.
    std::string cancelPath = dir + "/cancelled.psd";
    SetFileSpecText(&spec, cancelPath.c_str(), int32_t(cancelPath.size() + 1));
    StartBoxShots(&harness.record, dir);
    result = RunProgressDialog(harness.globals, &spec, &cancelled, kJobLayeredDocument);
    std::string note = StopBoxShots();
    FILE *left = std::fopen(cancelPath.c_str(), "rb");
    FILE *side = std::fopen((cancelPath + ".new").c_str(), "rb");
    if (result != kProgressStopped || cancelled != 1 || left != nullptr || side != nullptr || !note.empty()) {
      std::printf("FAIL: the cancelled export returned %d (cancelled %d), file %s, side file %s; %s\n", result,
                  cancelled, left ? "left" : "gone", side ? "left" : "gone", note.c_str());
      failures++;
    }
    if (left) std::fclose(left);
    if (side) std::fclose(side);
    if (harness.globals->runState->renderTargetImage != nullptr || HarnessParameters(&harness)->renderTarget != 0) {
      std::printf("FAIL: the render target was not restored after the cancel\n");
      failures++;
    }
  }
  harness.record.iCCprofileData = nullptr;
  CloseHarness(&harness);
  return failures;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: psd_export_tool OUTDIR WIDTH HEIGHT [--shots] [NAME=VALUE ...]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  bool shots = false;
  std::vector<const char *> settings;
  for (int i = 4; i < argc; i++) {
    if (std::strcmp(argv[i], "--shots") == 0) {
      shots = true;
    } else if (ParameterBlock scratch{}; !ApplyHarnessSetting(&scratch, argv[i])) {
      std::fprintf(stderr, "psd_export_tool: not a setting: %s\n", argv[i]);
      return 2;
    } else {
      settings.push_back(argv[i]);
    }
  }
  const std::vector<uint8_t> profile = SmallProfile();
  int failures = 0;
  for (int depth : {8, 16, 32}) failures += Export(dir, width, height, depth, profile, shots && depth == 8, settings);
  std::printf("%s\n", failures == 0 ? "exported" : "export failed");
  return failures == 0 ? 0 : 1;
}
