// The look of the host's pictures: size, noise curves, colours, format and
// quality. The operator chooses it once (`glimmark serve --size ... `); a
// visitor's request names the envelope only and never the look, so nobody
// can ask for a picture that is easier to read.
#pragma once

#include <windows.h>

#include "tools/options/option_values.h"

// The ranges the host's settings and `glimmark image` accept.
using PictureLimits = NumberRange;

constexpr PictureLimits kWidthLimits = {40, 800};
constexpr PictureLimits kHeightLimits = {20, 300};
constexpr PictureLimits kLinesLimits = {0, 20};
constexpr PictureLimits kLineWidthLimits = {1, 20};
constexpr PictureLimits kQualityLimits = {1, 100};

constexpr LONG kPictureFormatGif = 1;
constexpr LONG kPictureFormatJpeg = 2;

struct PictureOptions {
  LONG width = 200;
  LONG height = 70;
  LONG lines = 2;
  LONG lineWidth = 4;
  DWORD fontColor = 0xFF000000;        // ARGB
  DWORD backgroundColor = 0xFFFFFFFF;  // ARGB
  LONG format = kPictureFormatJpeg;
  LONG quality = 85;
};
