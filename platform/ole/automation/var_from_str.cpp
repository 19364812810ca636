// Numbers from text: the parser shared by VariantChangeType and the exported
// VarI4FromStr / VarUI4FromStr / VarR8FromStr. Text is read as written in the
// invariant (English) locale whatever LCID is given: '.' is the decimal point
// and thousands separators are not accepted.
#include <algorithm>
#include <charconv>
#include <string_view>

#include "ole/automation/automation_limits.h"
#include "ole/automation/automation_number.h"
#include "oleauto.h"

namespace glimmark::ole {
namespace {

// Exponents beyond this saturate: they already make any nonzero value
// overflow (or vanish) for every target.
constexpr int64_t kExponentSaturation = 1'000'000;

// The pieces of a number text, as views into the caller's string.
struct NumberText {
  bool negative = false;
  bool hasRadix = false;  // &H or &O text
  unsigned radix = 10;
  std::u16string_view integerDigits;
  std::u16string_view fractionDigits;
  int64_t exponent = 0;
};

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDecimalDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return 99;
}

std::u16string_view TrimmedText(LPCOLESTR text) {
  std::u16string_view view(text);
  while (!view.empty() && IsSpace(view.front())) view.remove_prefix(1);
  while (!view.empty() && IsSpace(view.back())) view.remove_suffix(1);
  return view;
}

// Takes the longest prefix of `view` whose characters satisfy `accept`.
template <typename Predicate>
std::u16string_view TakeWhile(std::u16string_view& view, Predicate accept) {
  size_t count = 0;
  while (count < view.size() && accept(view[count])) ++count;
  const std::u16string_view taken = view.substr(0, count);
  view.remove_prefix(count);
  return taken;
}

bool ParseRadixBody(std::u16string_view body, NumberText* out) {
  if (body.size() < 2 || body[0] != u'&') return false;
  const char16_t marker = body[1];
  if (marker == u'H' || marker == u'h') {
    out->radix = 16;
  } else if (marker == u'O' || marker == u'o') {
    out->radix = 8;
  } else {
    return false;
  }
  body.remove_prefix(2);
  const unsigned radix = out->radix;
  out->integerDigits =
      TakeWhile(body, [radix](char16_t c) { return DigitValue(c) < static_cast<int>(radix); });
  out->hasRadix = true;
  return !out->integerDigits.empty() && body.empty();
}

bool ParseExponent(std::u16string_view body, int64_t* exponent) {
  bool negative = false;
  if (!body.empty() && (body[0] == u'+' || body[0] == u'-')) {
    negative = body[0] == u'-';
    body.remove_prefix(1);
  }
  const std::u16string_view digits = TakeWhile(body, IsDecimalDigit);
  if (digits.empty() || !body.empty()) return false;
  int64_t value = 0;
  for (char16_t c : digits) value = std::min(value * 10 + (c - u'0'), kExponentSaturation);
  *exponent = negative ? -value : value;
  return true;
}

bool ParseDecimalBody(std::u16string_view body, NumberText* out) {
  out->integerDigits = TakeWhile(body, IsDecimalDigit);
  if (!body.empty() && body[0] == u'.') {
    body.remove_prefix(1);
    out->fractionDigits = TakeWhile(body, IsDecimalDigit);
  }
  if (out->integerDigits.empty() && out->fractionDigits.empty()) return false;
  if (body.empty()) return true;
  if (body[0] != u'E' && body[0] != u'e') return false;
  return ParseExponent(body.substr(1), &out->exponent);
}

HRESULT SplitNumberText(LPCOLESTR text, NumberText* out) {
  if (text == nullptr) return E_INVALIDARG;
  std::u16string_view body = TrimmedText(text);
  if (body.size() > kMaxNumberTextLength) return DISP_E_TYPEMISMATCH;
  if (!body.empty() && body[0] == u'&') {
    return ParseRadixBody(body, out) ? S_OK : DISP_E_TYPEMISMATCH;
  }
  if (!body.empty() && (body[0] == u'+' || body[0] == u'-')) {
    out->negative = body[0] == u'-';
    body.remove_prefix(1);
  }
  return ParseDecimalBody(body, out) ? S_OK : DISP_E_TYPEMISMATCH;
}

// Reads the integer and fraction digits as one digit sequence.
class DigitSequence {
 public:
  explicit DigitSequence(const NumberText& text)
      : integer_(text.integerDigits), fraction_(text.fractionDigits) {}
  int64_t size() const { return static_cast<int64_t>(integer_.size() + fraction_.size()); }
  // The digit at `index`; zero outside the written digits.
  int At(int64_t index) const {
    if (index < 0 || index >= size()) return 0;
    const auto i = static_cast<size_t>(index);
    return (i < integer_.size() ? integer_[i] : fraction_[i - integer_.size()]) - u'0';
  }

 private:
  std::u16string_view integer_;
  std::u16string_view fraction_;
};

bool MultiplyAdd(uint64_t* value, uint64_t factor, uint64_t addend) {
  return !__builtin_mul_overflow(*value, factor, value) &&
         !__builtin_add_overflow(*value, addend, value);
}

HRESULT RadixMagnitude(const NumberText& text, uint64_t* out) {
  uint64_t value = 0;
  for (char16_t c : text.integerDigits) {
    if (!MultiplyAdd(&value, text.radix, static_cast<uint64_t>(DigitValue(c)))) {
      return DISP_E_OVERFLOW;
    }
  }
  *out = value;
  return S_OK;
}

int64_t FirstSignificantDigit(const DigitSequence& digits) {
  int64_t first = 0;
  while (first < digits.size() && digits.At(first) == 0) ++first;
  return first;
}

// Index of the digit just after the decimal point, once the exponent is
// applied: digits before it form the integer part.
int64_t DecimalPoint(const NumberText& text) {
  return static_cast<int64_t>(text.integerDigits.size()) + text.exponent;
}

// How many integer digits the value has (zero or less for values below 1).
int64_t DecimalMagnitudeOrder(const NumberText& text) {
  return DecimalPoint(text) - FirstSignificantDigit(DigitSequence(text));
}

// The decimal value rounded to an integer, ties to even, exactly.
HRESULT RoundedDecimalMagnitude(const NumberText& text, uint64_t* out) {
  const DigitSequence digits(text);
  const int64_t first = FirstSignificantDigit(digits);
  *out = 0;
  if (first == digits.size()) return S_OK;
  const int64_t point = DecimalPoint(text);
  constexpr int64_t kMaxIntegerDigits = 20;  // 2^64 has 20 digits
  if (point - first > kMaxIntegerDigits) return DISP_E_OVERFLOW;
  uint64_t value = 0;
  for (int64_t i = first; i < point; ++i) {
    if (!MultiplyAdd(&value, 10, static_cast<uint64_t>(digits.At(i)))) return DISP_E_OVERFLOW;
  }
  const int roundingDigit = digits.At(point);
  bool sticky = false;
  for (int64_t i = std::max<int64_t>(point + 1, 0); i < digits.size() && !sticky; ++i) {
    sticky = digits.At(i) != 0;
  }
  const bool roundUp = roundingDigit > 5 || (roundingDigit == 5 && (sticky || (value & 1)));
  if (roundUp && !MultiplyAdd(&value, 1, 1)) return DISP_E_OVERFLOW;
  *out = value;
  return S_OK;
}

}  // namespace

HRESULT ParseIntegerText(LPCOLESTR text, AutomationNumber* out) {
  NumberText parts;
  HRESULT hr = SplitNumberText(text, &parts);
  if (FAILED(hr)) return hr;
  uint64_t magnitude = 0;
  hr = parts.hasRadix ? RadixMagnitude(parts, &magnitude)
                      : RoundedDecimalMagnitude(parts, &magnitude);
  if (FAILED(hr)) return hr;
  if (parts.hasRadix) {
    *out = AutomationNumber::Unsigned(magnitude);
    out->bitPattern = true;
  } else if (!parts.negative) {
    *out = AutomationNumber::Unsigned(magnitude);
  } else {
    constexpr uint64_t kMostNegativeMagnitude = uint64_t{1} << 63;
    if (magnitude > kMostNegativeMagnitude) return DISP_E_OVERFLOW;
    *out = AutomationNumber::Signed(static_cast<int64_t>(0 - magnitude));
  }
  return S_OK;
}

HRESULT ParseRealText(LPCOLESTR text, double* out) {
  NumberText parts;
  const HRESULT hr = SplitNumberText(text, &parts);
  if (FAILED(hr)) return hr;
  if (parts.hasRadix) {
    uint64_t magnitude = 0;
    if (FAILED(RadixMagnitude(parts, &magnitude))) return DISP_E_OVERFLOW;
    *out = static_cast<double>(magnitude);
    return S_OK;
  }
  // Rewrite as ASCII "-digits.digitsE<exp>" for the locale-free from_chars.
  char buffer[kMaxNumberTextLength + 32];
  char* end = buffer;
  if (parts.negative) *end++ = '-';
  for (char16_t c : parts.integerDigits) *end++ = static_cast<char>(c);
  *end++ = '.';
  for (char16_t c : parts.fractionDigits) *end++ = static_cast<char>(c);
  *end++ = 'e';
  end = std::to_chars(end, buffer + sizeof(buffer), parts.exponent).ptr;
  double value = 0;
  const auto result = std::from_chars(buffer, end, value);
  if (result.ec == std::errc::result_out_of_range) {
    // Out of range either way: huge overflows, tiny becomes zero.
    if (DecimalMagnitudeOrder(parts) > 0) return DISP_E_OVERFLOW;
    value = parts.negative ? -0.0 : 0.0;
  } else if (result.ec != std::errc() || result.ptr != end) {
    return DISP_E_TYPEMISMATCH;
  }
  *out = value;
  return S_OK;
}

HRESULT ParseBooleanText(LPCOLESTR text, bool* out) {
  if (text == nullptr) return E_INVALIDARG;
  const std::u16string_view word = TrimmedText(text);
  auto equalsIgnoringCase = [word](std::u16string_view name) {
    if (word.size() != name.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      const char16_t c = word[i] >= u'A' && word[i] <= u'Z' ? word[i] + (u'a' - u'A') : word[i];
      if (c != name[i]) return false;
    }
    return true;
  };
  if (equalsIgnoringCase(u"true") || equalsIgnoringCase(u"false")) {
    *out = equalsIgnoringCase(u"true");
    return S_OK;
  }
  double value = 0;
  const HRESULT hr = ParseRealText(text, &value);
  if (FAILED(hr)) return hr;
  *out = value != 0.0;
  return S_OK;
}

}  // namespace glimmark::ole

using glimmark::ole::AutomationNumber;

EXTERN_C HRESULT WINAPI VarUI4FromStr(LPCOLESTR text, LCID, ULONG, ULONG* result) {
  if (text == nullptr || result == nullptr) return E_INVALIDARG;
  AutomationNumber number;
  const HRESULT hr = glimmark::ole::ParseIntegerText(text, &number);
  return FAILED(hr) ? hr : glimmark::ole::NumberToInteger(number, result);
}

EXTERN_C HRESULT WINAPI VarI4FromStr(LPCOLESTR text, LCID, ULONG, LONG* result) {
  if (text == nullptr || result == nullptr) return E_INVALIDARG;
  AutomationNumber number;
  const HRESULT hr = glimmark::ole::ParseIntegerText(text, &number);
  return FAILED(hr) ? hr : glimmark::ole::NumberToInteger(number, result);
}

EXTERN_C HRESULT WINAPI VarR8FromStr(LPCOLESTR text, LCID, ULONG, DOUBLE* result) {
  if (text == nullptr || result == nullptr) return E_INVALIDARG;
  return glimmark::ole::ParseRealText(text, result);
}
