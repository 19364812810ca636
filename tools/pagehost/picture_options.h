// The optional look of a /captcha picture, read from the query and checked
// against stated limits before any work: a value that is malformed or out of
// range is refused with a one-line reason, never drawn at a size or in a
// format other than the one asked for.
#pragma once

#include <windows.h>

#include <map>
#include <string>

struct PictureLimits {
  LONG min;
  LONG max;
};

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

// Every query parameter by name, each given once (the caller refuses repeats).
using QueryValues = std::map<std::string, std::string>;

// Reads the picture parameters (`width`, `height`, `lines`, `line_width`,
// `fg`, `bg` as RRGGBB or AARRGGBB hex, `format` jpeg|gif, `quality`) from
// `query`, ignoring `token`. Returns false with the reason for the first bad
// or unknown parameter.
bool ReadPictureOptions(const QueryValues& query, PictureOptions& options, std::string& reason);
