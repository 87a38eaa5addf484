// session_test.cpp -- whole host sessions against a fake plug-in of this test program: the
// selector sequence, what advanceState delivers, the selection, abort, refusals, the memory
// account and the report. The fake is a row filter: it asks for one row at a time and writes
// a pattern of its row and column into the output.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "stb_image.h"
#include "tests/host/pipl_builder.h"
#include "tests/host/test_files.h"

namespace {

// What the fake does, and what it saw.
struct FakePlugin {
  // Behaviour.
  bool neverDone;              // Continue leaves the rectangles set
  bool leakBuffer;             // Start allocates a second buffer and never frees it
  bool badHandleCall;          // Prepare locks a handle the host never gave
  bool display;                // each row is shown through displayPixels
  bool strangeDataSlot;        // Finish puts a non-handle into the data slot
  // Observations.
  HostSession *session;
  int32_t rowsDone;
  int32_t advanceCalls;
  std::vector<std::string> problems;   // what the host delivered wrongly
};
FakePlugin gFake;

// The fake's globals, in a host handle in the data slot.
struct FakeGlobals {
  HostBufferID buffer;
  HostBufferID leaked;
  int32_t row;
};

uint16_t Pattern(int32_t row, int32_t column, int32_t plane) { return uint16_t(1000 * row + 10 * column + plane); }

void Problem(const std::string &what) { gFake.problems.push_back(what); }

// Asks for row `row` of the filter rectangle, all planes, the mask rows around it when there
// is a selection, and calls advanceState. Then checks the delivery against the document.
// Returns advanceState's result.
OSErr16 RequestRow(FilterRecord *r, int32_t row) {
  const Rect16 f = r->filterRect;
  const int16_t y = int16_t(f.top + row);
  r->inRect = r->outRect = Rect16{y, f.left, int16_t(y + 1), f.right};
  r->inLoPlane = r->outLoPlane = 0;
  r->inHiPlane = r->outHiPlane = int16_t(r->planes - 1);
  r->maskRect = r->haveMask ? Rect16{int16_t(y - 2), f.left, int16_t(y + 2), f.right} : Rect16{0, 0, 0, 0};
  gFake.advanceCalls++;
  const OSErr16 advanced = r->advanceState();
  if (advanced != 0) {
    if (r->inData != nullptr || r->outData != nullptr || r->maskData != nullptr) Problem("data after a failure");
    return advanced;
  }

  HostSession *s = gFake.session;
  const int32_t bytes = r->depth / 8;
  const int32_t width = f.right - f.left;
  if (r->inData == nullptr || r->outData == nullptr) Problem("no data");
  if (r->inRowBytes != width * r->planes * bytes) Problem("inRowBytes");
  if (r->outRowBytes != width * r->planes * bytes) Problem("outRowBytes");
  if (r->inRect.top != y || r->inRect.bottom != y + 1) Problem("inRect moved");
  if (r->inColumnBytes != r->planes * bytes || r->inPlaneBytes != bytes) Problem("column bytes");
  for (int32_t x = 0; x < width && r->inData != nullptr; x++)
    if (std::memcmp(static_cast<uint8_t *>(r->inData) + x * r->planes * bytes,
                    HostImagePixel(s->source, f.left + x, y), size_t(r->planes * bytes)) != 0)
      Problem("inData differs from the document");
  if (r->haveMask) {
    // Rows y-2..y+1, clamped to the document.
    int16_t top = int16_t(y - 2 < 0 ? 0 : y - 2);
    int16_t bottom = int16_t(y + 2 > s->source.height ? s->source.height : y + 2);
    if (r->maskRect.top != top || r->maskRect.bottom != bottom) Problem("maskRect not clamped");
    if (r->maskData == nullptr || r->maskRowBytes != width) Problem("mask data");
    else if (static_cast<uint8_t *>(r->maskData)[size_t(y - top) * size_t(width) + size_t(width / 2)] !=
             s->mask.data[size_t(y) * size_t(s->mask.width) + size_t(f.left + width / 2)])
      Problem("mask contents");
  } else if (r->maskData != nullptr) {
    Problem("mask data without a selection");
  }
  return 0;
}

void EmptyRects(FilterRecord *r) { r->inRect = r->outRect = r->maskRect = Rect16{0, 0, 0, 0}; }

void WriteRow(FilterRecord *r, int32_t row) {
  const int32_t width = r->outRect.right - r->outRect.left;
  for (int32_t x = 0; x < width; x++)
    for (int32_t p = 0; p < r->planes; p++) {
      uint16_t v = Pattern(row, x, p);
      if (r->depth == 16)
        std::memcpy(static_cast<uint8_t *>(r->outData) + 2 * (x * r->planes + p), &v, 2);
      else
        static_cast<uint8_t *>(r->outData)[x * r->planes + p] = uint8_t(v);
    }
  if (gFake.display) {
    HostPixelMap map = {};
    map.version = 1;
    map.bounds = HostVRect{r->outRect.top, r->outRect.left, r->outRect.bottom, r->outRect.right};
    map.imageMode = r->imageMode;
    map.rowBytes = r->outRowBytes;
    map.colBytes = r->planes * (r->depth / 8);
    map.planeBytes = r->depth / 8;
    map.baseAddr = r->outData;
    if (r->displayPixels(&map, &map.bounds, 0, 0, nullptr) != 0) Problem("displayPixels failed");
  }
}

void KV_HOSTAPI FakeEntry(int16_t selector, FilterRecord *r, intptr_t *data, int16_t *result) {
  if (selector == kSelectorAbout) return;
  HostHandleProcs *hp = r->handleProcs;
  HostBufferProcs *bp = r->bufferProcs;
  if (*data == 0) {
    HostHandle h = hp->newProc(sizeof(FakeGlobals));
    std::memset(*h, 0, sizeof(FakeGlobals));
    *data = reinterpret_cast<intptr_t>(h);
  }
  HostHandle gh = reinterpret_cast<HostHandle>(*data);
  if (gFake.strangeDataSlot && selector == kSelectorFinish) {
    hp->disposeProc(gh);
    *data = 12345;
    return;
  }
  FakeGlobals *g = reinterpret_cast<FakeGlobals *>(hp->lockProc(gh, 1));
  if (r->parameters == nullptr) r->parameters = hp->newProc(16);
  switch (selector) {
    case kSelectorPrepare:
      r->bufferSpace = 12345;
      if (gFake.badHandleCall) hp->lockProc(reinterpret_cast<HostHandle>(g), 0);
      break;
    case kSelectorStart:
      if (bp->allocateProc(1000, &g->buffer) != 0) {
        EmptyRects(r);
        *result = 1;
        break;
      }
      bp->lockProc(g->buffer, 1);
      if (gFake.leakBuffer) bp->allocateProc(10, &g->leaked);
      g->row = 0;
      *result = RequestRow(r, 0);
      if (*result != 0) {
        bp->unlockProc(g->buffer);
        bp->freeProc(g->buffer);
        EmptyRects(r);
      }
      break;
    case kSelectorContinue:
      if (gFake.neverDone) break;
      for (;;) {
        WriteRow(r, g->row);
        gFake.rowsDone++;
        r->progressProc(g->row + 1, r->filterRect.bottom - r->filterRect.top);
        if (r->abortProc()) {
          *result = kResultUserCanceled;
          break;
        }
        if (++g->row == r->filterRect.bottom - r->filterRect.top) break;
        *result = RequestRow(r, g->row);
        if (*result != 0) break;
      }
      bp->unlockProc(g->buffer);
      bp->freeProc(g->buffer);
      EmptyRects(r);
      break;
    case kSelectorParameters:
    case kSelectorFinish:
      break;
    default:
      *result = kResultBadSelector;
  }
  hp->unlockProc(gh);
}

void *FakeFindExport(void *, const char *name) {
  return std::strcmp(name, "FakeMain") == 0 ? reinterpret_cast<void *>(FakeEntry) : nullptr;
}

std::vector<uint8_t> gPipl;
std::vector<uint8_t> gTerminology;   // the fake's terminology resource; empty for none

PluginModule FakeModule(const std::vector<uint8_t> &pipl) {
  gPipl = pipl;
  PluginModule m = {};
  m.properties = gPipl.data();
  m.propertiesSize = gPipl.size();
  m.terminology = gTerminology.empty() ? nullptr : gTerminology.data();
  m.terminologySize = gTerminology.size();
  m.findExport = FakeFindExport;
  return m;
}

// A session run from a command line, kept open for inspection.
struct HostRun {
  HostSession *session = nullptr;
  bool opened = false;
  int status = -1;
  int finishStatus = -1;
  std::string error;
  std::string report;
  std::string outPath;

  HostRun(std::vector<const char *> args, const std::vector<uint8_t> &pipl, bool finish = true) {
    gFake.rowsDone = 0;
    gFake.advanceCalls = 0;
    gFake.problems.clear();
    args.insert(args.begin(), {"kivahost", "--plugin", "fake.8bf"});
    HostOptions options;
    char text[1024] = "";
    EXPECT_TRUE(ParseHostOptions(int(args.size()), args.data(), &options, text, sizeof text)) << text;
    outPath = TempPath("session_report.txt");
    FILE *out = std::fopen(outPath.c_str(), "wb");
    session = new HostSession();
    gFake.session = session;
    opened = OpenHostSession(session, options, FakeModule(pipl), out, text, sizeof text);
    error = text;
    if (opened) {
      status = RunHostSession(session);
      if (finish) finishStatus = FinishHostSession(session);
    }
    std::fclose(out);
    report = ReadTextFile(outPath);
  }
  explicit HostRun(std::vector<const char *> args) : HostRun(args, FilterPipl(HostCodePropertyKey(), "FakeMain").Bytes()) {}
  ~HostRun() {
    CloseHostSession(session);
    delete session;
    std::remove(outPath.c_str());
  }
  std::vector<int16_t> Selectors() const {
    std::vector<int16_t> v;
    for (const HostCall &c : session->calls) v.push_back(c.selector);
    return v;
  }
  int16_t ResultOf(int16_t selector) const {
    for (const HostCall &c : session->calls)
      if (c.selector == selector) return c.result;
    return 9999;
  }
};

uint16_t Sample(const HostImage &image, int32_t x, int32_t y, int32_t c) {
  const uint8_t *p = HostImagePixel(image, x, y);
  if (image.bytesPerSample == 1) return p[c];
  uint16_t v;
  std::memcpy(&v, p + 2 * c, 2);
  return v;
}

class HostSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { gFake = FakePlugin(); }
};

TEST_F(HostSessionTest, RunsTheEditorsSequenceAndReportsEachResult) {
  HostRun run({"--size", "7x5"});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.status, kHostStatusOk);
  EXPECT_EQ(run.finishStatus, kHostStatusOk);
  EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{2, 3, 4, 5}));
  EXPECT_EQ(run.report,
            "Prepare: 0\nbufferSpace: 12345\nStart: 0\nContinue: 0\nFinish: 0\n"
            "Outstanding buffers: 0\nOutstanding handles: 1\nOutstanding global blocks: 0\n");
  EXPECT_EQ(gFake.rowsDone, 5);
  EXPECT_EQ(run.session->advanceStateCalls, 5);
  EXPECT_TRUE(gFake.problems.empty()) << gFake.problems.front();
  // The output went back into the document, every row and plane.
  for (int32_t y = 0; y < 5; y++)
    for (int32_t x = 0; x < 7; x++)
      for (int32_t c = 0; c < 3; c++) ASSERT_EQ(Sample(run.session->destination, x, y, c), uint8_t(Pattern(y, x, c)));
  // The source stays as it was: the plug-in reads the document from before the run.
  EXPECT_EQ(Sample(run.session->source, 3, 3, 1), 0);
  // The data slot was disposed of; the parameters handle is the host's to keep.
  EXPECT_EQ(run.session->dataSlot, 0);
  EXPECT_EQ(OutstandingHandles(run.session->memory), 1);
  EXPECT_NE(FindHandle(&run.session->memory, run.session->record.parameters), nullptr);
}

TEST_F(HostSessionTest, DescribesTheDocumentInTheFilterRecord) {
  HostRun run({"--size", "9x4", "--gray", "--depth", "16", "--dialog", "--host-sig", "8ELE"},
              FilterPipl(HostCodePropertyKey(), "FakeMain").Bytes(), false);
  ASSERT_TRUE(run.opened) << run.error;
  const FilterRecord &r = run.session->record;
  EXPECT_EQ(r.imageMode, kModeGray16);
  EXPECT_EQ(r.depth, 16);
  EXPECT_EQ(r.planes, 1);
  EXPECT_EQ(r.imageSize.h, 9);
  EXPECT_EQ(r.imageSize.v, 4);
  EXPECT_EQ(r.filterRect.bottom, 4);
  EXPECT_EQ(r.filterRect.right, 9);
  EXPECT_EQ(r.hostSig, FourCC('8', 'E', 'L', 'E'));
  EXPECT_EQ(r.filterCase, kFilterCaseFlatImageNoSelection);
  EXPECT_EQ(r.haveMask, 0);
  EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(gFake.problems.empty()) << gFake.problems.front();
  EXPECT_EQ(Sample(run.session->destination, 8, 3, 0), Pattern(3, 8, 0));
}

TEST_F(HostSessionTest, SixteenBitOutputRoundTripsThroughThePngFile) {
  std::string png = TempPath("out16.png");
  HostRun run({"--size", "6x3", "--depth", "16", "--out", png.c_str()});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.finishStatus, kHostStatusOk);
  ASSERT_TRUE(run.session->outputWritten);
  int w, h, c;
  ASSERT_TRUE(stbi_is_16_bit(png.c_str()));
  stbi_us *back = stbi_load_16(png.c_str(), &w, &h, &c, 0);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(w * h * c, 6 * 3 * 3);
  for (int32_t y = 0; y < 3; y++)
    for (int32_t x = 0; x < 6; x++)
      for (int32_t p = 0; p < 3; p++)
        EXPECT_EQ(FromPng16(back[(y * 6 + x) * 3 + p]), Pattern(y, x, p));
  stbi_image_free(back);
  std::remove(png.c_str());
}

TEST_F(HostSessionTest, EightBitPictureInAndOut) {
  // A picture in, copied by the host untouched where the plug-in does not write (outside the
  // selection), and written back out.
  HostImage picture;
  MakeHostImage(&picture, 8, 6, 3, 1);
  for (size_t i = 0; i < picture.data.size(); i++) picture.data[i] = uint8_t(i * 5 + 1);
  std::string in = TempPath("in8.png"), out = TempPath("out8.png");
  char error[256];
  ASSERT_TRUE(SaveHostImagePng(picture, in.c_str(), error, sizeof error));
  HostRun run({"--in", in.c_str(), "--mask", "ellipse", "--out", out.c_str()});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.status, kHostStatusOk);
  EXPECT_TRUE(gFake.problems.empty()) << gFake.problems.front();
  EXPECT_EQ(run.session->record.filterCase, kFilterCaseFlatImageWithSelection);
  int w, h, c;
  stbi_uc *back = stbi_load(out.c_str(), &w, &h, &c, 3);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(w, 8);
  ASSERT_EQ(h, 6);
  HostImage mask;
  MakeEllipseMask(8, 6, &mask);
  for (int32_t y = 0; y < 6; y++)
    for (int32_t x = 0; x < 8; x++)
      for (int32_t p = 0; p < 3; p++) {
        const bool selected = mask.data[size_t(y * 8 + x)] == 255;
        const int32_t row = y - run.session->filterRect.top;
        const int32_t column = x - run.session->filterRect.left;
        EXPECT_EQ(back[(y * 8 + x) * 3 + p],
                  selected ? uint8_t(Pattern(row, column, p)) : picture.data[size_t((y * 8 + x) * 3 + p)])
            << x << "," << y;
      }
  stbi_image_free(back);
  std::remove(in.c_str());
  std::remove(out.c_str());
}

TEST_F(HostSessionTest, TheFilterRectangleBoundsTheSelection) {
  HostImage mask;
  MakeHostImage(&mask, 10, 8, 1, 1);
  for (int32_t y = 2; y < 5; y++)
    for (int32_t x = 3; x < 9; x++) mask.data[size_t(y * 10 + x)] = 200;
  std::string path = TempPath("selection.png");
  char error[256];
  ASSERT_TRUE(SaveHostImagePng(mask, path.c_str(), error, sizeof error));
  HostRun run({"--size", "10x8", "--mask", path.c_str()});
  ASSERT_TRUE(run.opened) << run.error;
  const Rect16 f = run.session->record.filterRect;
  EXPECT_EQ(f.top, 2);
  EXPECT_EQ(f.left, 3);
  EXPECT_EQ(f.bottom, 5);
  EXPECT_EQ(f.right, 9);
  EXPECT_EQ(gFake.rowsDone, 3);
  EXPECT_TRUE(gFake.problems.empty()) << gFake.problems.front();
  // Partly selected pixels take 200/255 of the output.
  EXPECT_EQ(Sample(run.session->destination, 5, 3, 1), (uint8_t(Pattern(1, 2, 1)) * 200 + 127) / 255);
  EXPECT_EQ(Sample(run.session->destination, 2, 2, 0), 0);
  std::remove(path.c_str());

  // Nothing selected: the host has nothing to filter.
  MakeHostImage(&mask, 10, 8, 1, 1);
  ASSERT_TRUE(SaveHostImagePng(mask, path.c_str(), error, sizeof error));
  HostRun empty({"--size", "10x8", "--mask", path.c_str()});
  EXPECT_FALSE(empty.opened);
  EXPECT_NE(empty.error.find("selection is empty"), std::string::npos) << empty.error;
  std::remove(path.c_str());
}

TEST_F(HostSessionTest, AbortAnswersYesOnceTheRowWasRequested) {
  HostRun run({"--size", "4x10", "--abort-at", "3"});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.status, kHostStatusPluginError);
  EXPECT_EQ(run.ResultOf(kSelectorContinue), kResultUserCanceled);
  EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{2, 3, 4}));   // no Finish after a failure
  EXPECT_EQ(gFake.rowsDone, 4);                                   // rows 0..3
  EXPECT_TRUE(run.session->abortAnswered);
  EXPECT_EQ(run.session->abortCalls, 4);
  EXPECT_EQ(run.finishStatus, kHostStatusOk);   // nothing outstanding
  // The rows written before the abort are in the document; the others are not.
  EXPECT_EQ(Sample(run.session->destination, 1, 3, 0), uint8_t(Pattern(3, 1, 0)));
  EXPECT_EQ(Sample(run.session->destination, 1, 4, 0), 0);
}

// --advance-error N[:CODE]: the N-th advanceState call fails with CODE and delivers nothing;
// the rows written before it stay in the document.
TEST_F(HostSessionTest, AnInjectedAdvanceStateErrorDeliversNothing) {
  {
    HostRun run({"--size", "4x6", "--advance-error", "1:-36"});
    ASSERT_TRUE(run.opened) << run.error;
    EXPECT_EQ(run.ResultOf(kSelectorStart), -36);
    EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{2, 3}));
    EXPECT_EQ(run.session->advanceStateCalls, 1);
    EXPECT_EQ(run.status, kHostStatusPluginError);
    EXPECT_EQ(run.finishStatus, kHostStatusOk);
    EXPECT_EQ(run.session->highestRowRequested, -1);
  }
  {
    HostRun run({"--size", "4x6", "--advance-error", "3"});
    ASSERT_TRUE(run.opened) << run.error;
    EXPECT_EQ(run.ResultOf(kSelectorContinue), -108);
    EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{2, 3, 4}));
    EXPECT_EQ(gFake.rowsDone, 2);
    EXPECT_EQ(Sample(run.session->destination, 1, 1, 0), uint8_t(Pattern(1, 1, 0)));
    EXPECT_EQ(Sample(run.session->destination, 1, 2, 0), 0);
    EXPECT_EQ(run.finishStatus, kHostStatusOk);
  }
  EXPECT_TRUE(gFake.problems.empty()) << gFake.problems.front();
  // Counts from 1, codes are non-zero 16-bit values.
  for (const char *bad : {"0", "2:0", "2:", ":5", "2:x", "2:40000", "-1"}) {
    HostOptions options;
    char error[256];
    const char *args[] = {"kivahost", "--plugin", "p.8bf", "--advance-error", bad};
    EXPECT_FALSE(ParseHostOptions(5, args, &options, error, sizeof error)) << bad;
  }
}

TEST_F(HostSessionTest, RefusedBuffersFailStartAndLeaveNothingBehind) {
  HostRun run({"--size", "3x3", "--refuse-buffers", "1"});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.ResultOf(kSelectorStart), 1);
  EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{2, 3}));
  EXPECT_EQ(run.session->memory.refusedBuffers, 1);
  EXPECT_TRUE(run.session->memory.outOfMemory);
  EXPECT_EQ(run.finishStatus, kHostStatusOk);
  EXPECT_NE(run.report.find("Outstanding buffers: 0\nOutstanding handles: 1\n"), std::string::npos) << run.report;

  // Refusing from the second request on lets the first through.
  HostRun second({"--size", "3x3", "--refuse-host-buffers", "2"});
  EXPECT_EQ(second.ResultOf(kSelectorStart), 0);
  EXPECT_FALSE(second.session->memory.outOfMemory);   // the plug-in's own memory still works
}

TEST_F(HostSessionTest, GivesUpOnAPluginThatNeverFinishes) {
  gFake.neverDone = true;
  HostRun run({"--size", "2x6"});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_TRUE(run.session->continueLimitHit);
  EXPECT_EQ(run.status, kHostStatusPluginError);
  int continues = 0;
  for (const HostCall &c : run.session->calls) continues += c.selector == kSelectorContinue;
  EXPECT_EQ(continues, run.session->continueLimit);
  EXPECT_EQ(run.Selectors().back(), kSelectorContinue);   // no Finish
  EXPECT_NE(run.report.find("Continue: stopped after"), std::string::npos);
  // The plug-in never freed its buffer: the report says so.
  EXPECT_EQ(run.finishStatus, kHostStatusLeak);
  EXPECT_NE(run.report.find("Outstanding buffers: 1\n"), std::string::npos) << run.report;
}

TEST_F(HostSessionTest, AboutAndSingleSelectorsTouchNothingElse) {
  HostRun about({"--about"});
  ASSERT_TRUE(about.opened) << about.error;
  EXPECT_EQ(about.report,
            "About: 0\nOutstanding buffers: 0\nOutstanding handles: 0\nOutstanding global blocks: 0\n");
  EXPECT_EQ(about.session->dataSlot, 0);
  EXPECT_EQ(HostHandle(about.session->record.parameters), nullptr);

  HostRun six({"--selector", "6"});
  EXPECT_EQ(six.ResultOf(6), kResultBadSelector);
  EXPECT_EQ(six.status, kHostStatusPluginError);
  EXPECT_EQ(six.report.substr(0, 19), "Selector 6: -30100\n");
  EXPECT_NE(HostHandle(six.session->record.parameters), nullptr);
}

TEST_F(HostSessionTest, CountsLeaksAndMisuse) {
  gFake.leakBuffer = true;
  {
    HostRun run({"--size", "2x2"});
    EXPECT_EQ(run.status, kHostStatusOk);
    EXPECT_EQ(run.finishStatus, kHostStatusLeak);
    EXPECT_NE(run.report.find("Outstanding buffers: 1\n"), std::string::npos) << run.report;
  }
  gFake.leakBuffer = false;
  gFake.badHandleCall = true;
  {
    HostRun run({"--size", "2x2"});
    EXPECT_EQ(run.session->memory.badCalls, 1);
    EXPECT_EQ(run.finishStatus, kHostStatusLeak);
    EXPECT_NE(run.report.find("Calls with unknown handles or buffers: 1\n"), std::string::npos) << run.report;
  }
  gFake.badHandleCall = false;
  gFake.strangeDataSlot = true;
  {
    HostRun run({"--size", "2x2"});
    EXPECT_EQ(run.finishStatus, kHostStatusLeak);
    EXPECT_NE(run.report.find("Data slot: holds a value the host did not allocate"), std::string::npos);
  }
}

TEST_F(HostSessionTest, CapturesWhatDisplayPixelsShows) {
  gFake.display = true;
  HostRun run({"--size", "5x3"});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_TRUE(gFake.problems.empty()) << gFake.problems.front();
  const DisplayCapture &d = run.session->display;
  EXPECT_EQ(d.calls, 3);
  ASSERT_EQ(d.image.width, 5);
  ASSERT_EQ(d.image.height, 1);
  ASSERT_EQ(d.image.channels, 3);
  EXPECT_EQ(d.sourceRect.top, 2);   // the last row shown
  for (int32_t x = 0; x < 5; x++)
    for (int32_t p = 0; p < 3; p++) EXPECT_EQ(Sample(d.image, x, 0, p), uint8_t(Pattern(2, x, p)));
}

TEST_F(HostSessionTest, RefusesPluginsThatDoNotFit) {
  const OSType4 code = HostCodePropertyKey();
  {
    HostRun run({"--size", "2x2"}, FilterPipl(code, "SomethingElse").Bytes());
    EXPECT_FALSE(run.opened);
    EXPECT_NE(run.error.find("does not export its entry \"SomethingElse\""), std::string::npos) << run.error;
  }
  {
    PiplBuilder notFilter;
    notFilter.AddCode(kPiplKeyKind, FourCC('8', 'B', 'E', 'F')).AddCString(code, "FakeMain");
    HostRun run({"--size", "2x2"}, notFilter.Bytes());
    EXPECT_FALSE(run.opened);
    EXPECT_NE(run.error.find("not a filter"), std::string::npos) << run.error;
  }
  {
    HostRun run({"--size", "2x2"}, std::vector<uint8_t>{1, 0, 0});
    EXPECT_FALSE(run.opened);
    EXPECT_NE(run.error.find("malformed"), std::string::npos) << run.error;
  }
  {
    HostRun run({"--multichannel", "--size", "2x2"});
    EXPECT_FALSE(run.opened);
    EXPECT_NE(run.error.find("MultichannelMode"), std::string::npos) << run.error;
    EXPECT_TRUE(run.session->calls.empty());
  }
  {
    // A host that does not read the modes runs it anyway.
    HostRun run({"--multichannel", "--size", "2x2", "--no-mode-check"});
    ASSERT_TRUE(run.opened) << run.error;
    EXPECT_EQ(run.session->record.imageMode, kModeMultichannel);
    EXPECT_EQ(run.session->record.inNonLayerPlanes, 3);
    EXPECT_EQ(run.status, kHostStatusOk);
  }
}

TEST_F(HostSessionTest, LogsEveryCallbackAsJsonLines) {
  std::string log = TempPath("log.json");
  {
    HostRun run({"--size", "3x2", "--log", log.c_str()});
    ASSERT_TRUE(run.opened) << run.error;
  }
  std::string text = ReadTextFile(log);
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  int advance = 0, selectors = 0;
  for (const std::string &line : lines) {
    EXPECT_EQ(line.substr(0, 10), "{\"event\":\"") << line;
    EXPECT_EQ(line.back(), '}') << line;
    advance += line.find("\"advanceState\"") != std::string::npos;
    selectors += line.find("{\"event\":\"selector\"") != std::string::npos;
  }
  EXPECT_EQ(advance, 2);
  EXPECT_EQ(selectors, 4);
  EXPECT_NE(text.find("{\"event\":\"advanceState\",\"inRect\":[1,0,2,3],\"inLoPlane\":0,\"inHiPlane\":2,"),
            std::string::npos);
  EXPECT_NE(text.find("{\"event\":\"outstanding\",\"buffers\":0,\"handles\":1,"), std::string::npos);
  std::remove(log.c_str());
}

}  // namespace

// ---- Recorded actions ------------------------------------------------------------------------

namespace {

#ifdef KV_AETE_FILE
class HostScriptingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gFake = FakePlugin();
    std::string bytes = ReadTextFile(KV_AETE_FILE);
    gTerminology.assign(bytes.begin(), bytes.end());
    ASSERT_FALSE(gTerminology.empty());
  }
  void TearDown() override { gTerminology.clear(); }
};

TEST_F(HostScriptingTest, ListsTheParametersAndRunsNothing) {
  HostRun run({"--size", "4x4", "--list-parameters"});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_TRUE(run.Selectors().empty());
  EXPECT_NE(run.report.find("sea level\t0022\tlong\n"), std::string::npos) << run.report;
  EXPECT_NE(run.report.find("LG03\tlit map"), std::string::npos) << run.report;
}

TEST_F(HostScriptingTest, UnknownNamesAndWrongValuesAreRefusedBeforeAnyCall) {
  HostRun misspelt({"--size", "4x4", "--set", "sea levle=70"});
  EXPECT_FALSE(misspelt.opened);
  EXPECT_NE(misspelt.error.find("sea level, desert"), std::string::npos) << misspelt.error;
  HostRun wrongMode({"--size", "4x4", "--mode", "flat map"});
  EXPECT_FALSE(wrongMode.opened);
  EXPECT_NE(wrongMode.error.find("\"lit map\""), std::string::npos) << wrongMode.error;
  HostRun noTerminology = [] {
    gTerminology.clear();
    return 0;
  }() == 0 ? HostRun({"--size", "4x4", "--set", "sea level=70"}) : HostRun({});
  EXPECT_FALSE(noTerminology.opened);
  EXPECT_NE(noTerminology.error.find("terminology"), std::string::npos) << noTerminology.error;
}

TEST_F(HostScriptingTest, ThePlayedDescriptorIsOfferedAndGivenBack) {
  std::string record = TempPath("session_record.txt");
  HostRun run({"--size", "4x4", "--set", "sea level=70", "--mode", "lit map", "--record", record.c_str()}, 
              FilterPipl(HostCodePropertyKey(), "FakeMain").Bytes(), false);
  ASSERT_TRUE(run.opened) << run.error;
  const HostDescriptorStore &store = run.session->scripting;
  auto found = store.contents.find(store.parameters.descriptor);
  ASSERT_NE(found, store.contents.end());
  const HostDescriptorEntries &offered = found->second;
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[0].integer, 70);
  EXPECT_EQ(run.session->scripting.parameters.playInfo, kPlaySilent);
  // The fake plug-in records nothing: --record says so, and no handle is left behind.
  FILE *out = std::fopen(run.outPath.c_str(), "wb");
  run.session->out = out;
  EXPECT_EQ(FinishHostSession(run.session), kHostStatusPluginError);
  std::fclose(out);
  std::string report = ReadTextFile(run.outPath);
  EXPECT_NE(report.find("Record: the plug-in wrote no descriptor"), std::string::npos) << report;
  EXPECT_NE(report.find("Outstanding handles: 1\n"), std::string::npos) << report;
  std::remove(record.c_str());
}
#endif

}  // namespace
