// What a new captcha object starts with, the output format ids and the range
// of the JPEG quality: the values the settings record is filled with
// (challenge_settings.h) and that clients such as the glimmark tool show as
// their defaults and limits. Constants only; nothing here owns anything.
#pragma once

#include <windows.h>

// SetOutputFormat's FormatID: 1 draws a GIF, anything else a JPEG.
constexpr LONG kOutputFormatGif = 1;
constexpr LONG kOutputFormatJpeg = 2;

constexpr DWORD kDefaultFontColor = 0xFF000000;        // opaque black, ARGB
constexpr DWORD kDefaultBackgroundColor = 0xFFFFFFFF;  // opaque white, ARGB
constexpr LONG kDefaultWidth = 200;                    // pixels
constexpr LONG kDefaultHeight = 70;                    // pixels; also the font's em size
constexpr LONG kDefaultLineCount = 2;                  // noise curves
constexpr LONG kDefaultLineWidth = 4;                  // their pen width in pixels
constexpr LONG kDefaultOutputFormat = kOutputFormatJpeg;
constexpr LONG kDefaultJpegQuality = 85;
// The JPEG encoder's quality parameter runs from 0 to 100; SetOutputFormat
// keeps the current quality for 0 or less.
constexpr LONG kMaxJpegQuality = 100;
