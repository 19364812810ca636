#include "state/challenge_settings.h"

#include <cstring>

void InitializeChallengeSettings(ChallengeSettings* settings) {
  std::memset(settings, 0, sizeof(*settings));
  CopyBoundedText(settings->text, OLESTR("Captcha Test"));
  CopyBoundedText(settings->fontName, OLESTR("Arial"));
  settings->fontColor = kDefaultFontColor;
  SetBackgroundColor(settings, kDefaultBackgroundColor);
  settings->font = nullptr;
  settings->width = kDefaultWidth;
  settings->height = kDefaultHeight;
  settings->lineCount = kDefaultLineCount;
  settings->lineWidth = kDefaultLineWidth;
  settings->outputFormat = kDefaultOutputFormat;
  settings->jpegQuality = kDefaultJpegQuality;
}

void CopyBoundedText(OLECHAR (&destination)[kTextCapacity], const OLECHAR* source) {
  int length = 0;
  if (source != nullptr) {
    while (length < kTextCopyBound - 1 && source[length] != 0) {
      destination[length] = source[length];
      ++length;
    }
  }
  destination[length] = 0;
}

void SetBackgroundColor(ChallengeSettings* settings, DWORD argb) {
  settings->backgroundColor = argb;
  settings->backgroundRed = static_cast<BYTE>((argb >> 16) & 0xFF);
  settings->backgroundGreen = static_cast<BYTE>((argb >> 8) & 0xFF);
  settings->backgroundBlue = static_cast<BYTE>(argb & 0xFF);
}
