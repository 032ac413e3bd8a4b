#pragma once

struct MP3BandTable;
struct MP3GranuleInfo;
struct MP3Header;
struct MP3ScaleFactors;

// Mid/side and intensity stereo of one granule of a joint-stereo frame, on the requantised lines in
// their coded order. The band layout and the intensity positions come from the right channel, whose
// zero part above its last nonzero line (per window for short blocks) is the intensity region.
// `count` holds how many leading lines of each channel may be nonzero and is updated.
void JointStereoProcessing(const MP3Header& header, const MP3GranuleInfo& right, const MP3ScaleFactors& sfRight,
                           const MP3BandTable& bands, float* xrLeft, float* xrRight, int count[2]);
