// record_layout_test.cpp -- our declaration of the filter record against the offsets that the
// host interface publishes for Windows, where the record is packed to 4 bytes in both widths.
//
// The numbers below are the published ones, written down here as plain numbers: none is
// computed from plugin/host_interface.h. A host compiled against the published interface reads
// and writes the record at exactly these offsets, so any difference means a plug-in that
// reads the wrong field (a page fault in 64-bit hosts at the first selector). The native tree
// packs the record as the 64-bit Windows build does and checks the same table.
#include <gtest/gtest.h>

#include <cstddef>

#include "plugin/host_interface.h"

namespace {

struct PublishedOffset {
  const char *field;
  size_t ours;
  size_t published;
};

#define KV_AT(field, published) {#field, offsetof(FilterRecord, field), published}

#if UINTPTR_MAX == 0xFFFFFFFFu
// x86: the packing changes nothing here; the record agrees with natural alignment.
const PublishedOffset kPublished[] = {
    KV_AT(abortProc, 4),      KV_AT(parameters, 12),    KV_AT(inRect, 52),
    KV_AT(platformData, 188), KV_AT(handleProcs, 208),  KV_AT(advanceState, 224),
    KV_AT(descriptorParameters, 356), KV_AT(depth, 380),
};
constexpr size_t kPublishedMinimumSize = 452;
#else
// x64, packed to 4: pointers follow 4-byte fields without a gap.
const PublishedOffset kPublished[] = {
    KV_AT(abortProc, 4),          KV_AT(progressProc, 12),   KV_AT(parameters, 20),
    KV_AT(imageSize, 28),         KV_AT(planes, 32),         KV_AT(filterRect, 34),
    KV_AT(maxSpace, 56),          KV_AT(bufferSpace, 60),    KV_AT(inRect, 64),
    KV_AT(inData, 88),            KV_AT(inRowBytes, 96),     KV_AT(outData, 100),
    KV_AT(outRowBytes, 108),      KV_AT(haveMask, 113),      KV_AT(maskRect, 116),
    KV_AT(maskData, 124),         KV_AT(maskRowBytes, 132),  KV_AT(hostSig, 144),
    KV_AT(hostProc, 148),         KV_AT(imageMode, 156),     KV_AT(platformData, 216),
    KV_AT(bufferProcs, 224),      KV_AT(displayPixels, 248), KV_AT(handleProcs, 256),
    KV_AT(filterCase, 268),       KV_AT(advanceState, 280),  KV_AT(inputPadding, 302),
    KV_AT(samplingSupport, 308),  KV_AT(inputRate, 312),     KV_AT(maskRate, 316),
    KV_AT(colorServices, 320),    KV_AT(inLayerPlanes, 328), KV_AT(outLayerPlanes, 338),
    KV_AT(descriptorParameters, 432), KV_AT(depth, 480),     KV_AT(iCCprofileData, 484),
};
constexpr size_t kPublishedMinimumSize = 556;
#endif

#undef KV_AT

TEST(RecordLayout, EveryPublishedOffsetMatches) {
  for (const PublishedOffset &p : kPublished) EXPECT_EQ(p.ours, p.published) << p.field;
}

TEST(RecordLayout, TheRecordIsAtLeastThePublishedSize) { EXPECT_GE(sizeof(FilterRecord), kPublishedMinimumSize); }

// The procedure records are not packed: a pointer after the two 16-bit counts sits at the
// pointer's own alignment, and the descriptor parameters' handle after three 16-bit words.
TEST(RecordLayout, TheProcedureRecordsKeepNaturalAlignment) {
  constexpr size_t kPointer = sizeof(void *);
  EXPECT_EQ(offsetof(HostBufferProcs, allocateProc), kPointer);
  EXPECT_EQ(offsetof(HostHandleProcs, newProc), kPointer);
  EXPECT_EQ(offsetof(HostReadDescriptorProcs, openReadDescriptorProc), kPointer);
  EXPECT_EQ(offsetof(HostWriteDescriptorProcs, openWriteDescriptorProc), kPointer);
  EXPECT_EQ(offsetof(HostDescriptorParameters, descriptor), 8u);
  EXPECT_EQ(offsetof(HostDescriptorParameters, readDescriptorProcs), 8 + 2 * kPointer);
  EXPECT_EQ(offsetof(HostPixelMap, baseAddr), kPointer == 8 ? 40u : 36u);
}

}  // namespace
