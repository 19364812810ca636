// The image settings: each stores its arguments in the record as given and
// reports success; rendering and encoding decide what odd values mean.
#include "component/cglimmark.h"

HRESULT CGlimmark::SetLines(LONG Amount, LONG Width) noexcept {
  settings->lineCount = Amount;
  settings->lineWidth = Width;
  return S_OK;
}

HRESULT CGlimmark::SetSize(LONG Width, LONG Height) noexcept {
  settings->width = Width;
  settings->height = Height;
  return S_OK;
}

HRESULT CGlimmark::SetColor(OLE_COLOR FontColor, OLE_COLOR BackgroundColor) noexcept {
  settings->fontColor = FontColor;
  SetBackgroundColor(settings, BackgroundColor);
  return S_OK;
}

HRESULT CGlimmark::SetOutputFormat(LONG FormatID, LONG JPEGQuality) noexcept {
  settings->outputFormat = FormatID;
  if (JPEGQuality > 0) settings->jpegQuality = JPEGQuality;  // 0 or less keeps the quality
  return S_OK;
}
