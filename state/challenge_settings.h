// ChallengeSettings: the fixed-size settings record that each captcha object
// owns. It holds everything one challenge image needs: the text, the look of
// the picture, the output format, the cipher's round keys, the last token and
// the message of the last failed output. The text, render and output code use
// its fields by name; CGlimmark (component/cglimmark.h) allocates and frees
// it. The record sits below every layer that reads it, so it names no type of
// theirs: the kept font is an opaque handle that render/ makes and frees.
#pragma once

#include <ole2.h>

#include "state/challenge_defaults.h"
#include <windows.h>

// The font of the last rendering, opaque here: render/font_selection.h
// defines it, makes it, and releases it (ReleaseFont).
struct RenderFont;

// Capacities of the text buffers, in UTF-16 units including the terminator.
constexpr int kTextCapacity = 100;
constexpr int kTokenTextCapacity = 200;
// Copies into the 100-unit buffers stop here (terminator included), so a
// copied text holds at most 97 units.
constexpr int kTextCopyBound = 98;
constexpr int kDesRoundKeyWords = 2 * 16;  // 16 round keys of two 32-bit words

struct ChallengeSettings {
  OLECHAR text[kTextCapacity];            // the challenge text
  OLECHAR fontName[kTextCapacity];        // family of the last rendering
  DWORD fontColor;                        // ARGB of glyphs and curves
  DWORD backgroundColor;                  // ARGB of the background
  BYTE backgroundRed;                     // bits 16-23 of backgroundColor
  BYTE backgroundGreen;                   // bits 8-15
  BYTE backgroundBlue;                    // bits 0-7
  RenderFont* font;                       // owned; the font of the last rendering
  DWORD encryptKeys[kDesRoundKeyWords];   // round keys in encryption order
  DWORD decryptKeys[kDesRoundKeyWords];   // the same, reversed
  OLECHAR tokenText[kTokenTextCapacity];  // the last token made
  LONG width;                             // image width in pixels
  LONG height;                            // image height; also the font's em size
  LONG lineCount;                         // noise curves
  LONG lineWidth;                         // their pen width
  LONG outputFormat;                      // 1 GIF, anything else JPEG
  LONG jpegQuality;                       // EncoderQuality for JPEG
  OLECHAR errorMessage[kTextCapacity];    // message of the last failed output
  LONG encryptionAge;                     // seconds, set by the last token put
};

// Fills a freshly allocated record with the defaults: "Captcha Test", Arial,
// black on white, 200 by 70, two curves 4 pixels wide, JPEG at quality 85.
// Keys, token, age and message start zeroed.
void InitializeChallengeSettings(ChallengeSettings* settings);

// Copies `source` (zero-terminated; null counts as empty) into one of the
// record's 100-unit buffers, stopping after kTextCopyBound - 1 units so that
// the terminator always fits. Longer texts are cut at 97 units.
void CopyBoundedText(OLECHAR (&destination)[kTextCapacity], const OLECHAR* source);

// Keeps backgroundRed/Green/Blue in step with backgroundColor.
void SetBackgroundColor(ChallengeSettings* settings, DWORD argb);
