// psd_readers.js -- reads a layered document with ag-psd and prints what it found as JSON:
// the header, every layer's name and size, the channel lengths and the image resources.
// Usage: node psd_readers.js FILE (with NODE_PATH naming the folder that holds ag-psd).
const fs = require('fs');
const psd = require('ag-psd');

// No canvas under Node: pixels are read into plain image-data records.
const imageData = (width, height) => ({width, height, data: new Uint8ClampedArray(width * height * 4)});
psd.initializeCanvas(() => { throw new Error('no canvas'); }, imageData);

const bytes = fs.readFileSync(process.argv[2]);
const doc = psd.readPsd(bytes, {skipCompositeImageData: false, skipLayerImageData: false, skipThumbnail: true, useImageData: true, throwForMissingFeatures: false, logMissingFeatures: false});
const out = {
  width: doc.width,
  height: doc.height,
  channels: doc.channels,
  bitsPerChannel: doc.bitsPerChannel,
  colorMode: doc.colorMode,
  layers: (doc.children || []).map((l) => ({name: l.name, width: l.right - l.left, height: l.bottom - l.top,
                                             hasPixels: !!(l.canvas || l.imageData)})),
  resources: doc.imageResources ? Object.keys(doc.imageResources).sort() : [],
  resolution: doc.imageResources && doc.imageResources.resolutionInfo ? doc.imageResources.resolutionInfo.horizontalResolution : null,
  composite: !!(doc.canvas || doc.imageData),
};
process.stdout.write(JSON.stringify(out) + '\n');
