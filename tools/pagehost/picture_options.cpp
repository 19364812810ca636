#include "tools/pagehost/picture_options.h"

#include <cstdint>

namespace {

constexpr size_t kMaxNumberDigits = 9;  // keeps every accepted number inside LONG

bool ParseBounded(const std::string& text, PictureLimits limits, LONG& value) {
  if (text.empty() || text.size() > kMaxNumberDigits) return false;
  LONG parsed = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + (c - '0');
  }
  if (parsed < limits.min || parsed > limits.max) return false;
  value = parsed;
  return true;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// RRGGBB (opaque) or AARRGGBB.
bool ParseColor(const std::string& text, DWORD& value) {
  if (text.size() != 6 && text.size() != 8) return false;
  DWORD parsed = 0;
  for (char c : text) {
    if (!IsHexDigit(c)) return false;
    const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    parsed = (parsed << 4) | static_cast<DWORD>(digit);
  }
  value = text.size() == 6 ? (0xFF000000u | parsed) : parsed;
  return true;
}

std::string RangeReason(const char* name, PictureLimits limits) {
  return std::string(name) + " must be a whole number from " + std::to_string(limits.min) + " to " +
         std::to_string(limits.max);
}

struct NumberParameter {
  const char* name;
  PictureLimits limits;
  LONG PictureOptions::*field;
};

const NumberParameter kNumberParameters[] = {
    {"width", kWidthLimits, &PictureOptions::width},
    {"height", kHeightLimits, &PictureOptions::height},
    {"lines", kLinesLimits, &PictureOptions::lines},
    {"line_width", kLineWidthLimits, &PictureOptions::lineWidth},
    {"quality", kQualityLimits, &PictureOptions::quality},
};

struct ColorParameter {
  const char* name;
  DWORD PictureOptions::*field;
};

const ColorParameter kColorParameters[] = {
    {"fg", &PictureOptions::fontColor},
    {"bg", &PictureOptions::backgroundColor},
};

// Reads one parameter; false with the reason when it is bad or unknown.
bool ReadParameter(const std::string& name, const std::string& value, PictureOptions& options,
                   std::string& reason) {
  for (const NumberParameter& p : kNumberParameters) {
    if (name != p.name) continue;
    if (ParseBounded(value, p.limits, options.*p.field)) return true;
    reason = RangeReason(p.name, p.limits);
    return false;
  }
  for (const ColorParameter& p : kColorParameters) {
    if (name != p.name) continue;
    if (ParseColor(value, options.*p.field)) return true;
    reason = std::string(p.name) + " must be RRGGBB or AARRGGBB in hexadecimal";
    return false;
  }
  if (name == "format") {
    if (value == "jpeg" || value == "gif") {
      options.format = value == "gif" ? kPictureFormatGif : kPictureFormatJpeg;
      return true;
    }
    reason = "format must be jpeg or gif";
    return false;
  }
  reason = "unknown parameter";
  return false;
}

}  // namespace

bool ReadPictureOptions(const QueryValues& query, PictureOptions& options, std::string& reason) {
  for (const auto& [name, value] : query) {
    if (name == "token") continue;
    if (!ReadParameter(name, value, options, reason)) return false;
  }
  return true;
}
