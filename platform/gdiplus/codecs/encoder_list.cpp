// The installed encoders: their descriptions as GdipGetImageEncoders hands
// them out (BMP, JPEG, GIF, PNG, in GDI+'s own order and with its CLSIDs),
// saving through them, and the test seam that hides one.
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "gdiplus/codecs/image_encoders.h"
#include "glimmark_test_seams.h"

namespace Gdiplus {

// {1d5be4b5-fa4a-452d-9cdd-5db35105e7eb}
extern "C" const GUID EncoderQuality = {
    0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

namespace Internal {
namespace {

constexpr DWORD kEncoderFlags =
    0x00000001 /* Encoder */ | 0x00000004 /* SupportBitmap */ | 0x00010000 /* Builtin */;
constexpr DWORD kCodecVersion = 1;

struct Signature {
  const BYTE* pattern;  // SigCount patterns of SigSize bytes, back to back
  DWORD count;
  DWORD size;
};

constexpr BYTE kBmpSignature[] = {'B', 'M'};
constexpr BYTE kJpegSignature[] = {0xFF, 0xD8};
constexpr BYTE kGifSignature[] = {'G', 'I', 'F', '8', '9', 'a', 'G', 'I', 'F', '8', '7', 'a'};
constexpr BYTE kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct Codec {
  CLSID clsid;
  GUID format;
  const WCHAR* name;
  const WCHAR* description;
  const WCHAR* extensions;
  const WCHAR* mimeType;
  Signature signature;
  EncodeFunction encode;
};

// Class and format identifiers are those GDI+ publishes, so callers that
// compare them find what they expect.
const Codec kCodecs[] = {
    {{0x557cf400, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     {0xb96b3cab, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     u"Built-in BMP Codec",
     u"BMP",
     u"*.BMP;*.DIB;*.RLE",
     u"image/bmp",
     {kBmpSignature, 1, sizeof kBmpSignature},
     EncodeBmp},
    {{0x557cf401, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     {0xb96b3cae, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     u"Built-in JPEG Codec",
     u"JPEG",
     u"*.JPG;*.JPEG;*.JPE;*.JFIF",
     u"image/jpeg",
     {kJpegSignature, 1, sizeof kJpegSignature},
     EncodeJpeg},
    {{0x557cf402, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     {0xb96b3cb0, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     u"Built-in GIF Codec",
     u"GIF",
     u"*.GIF",
     u"image/gif",
     {kGifSignature, 2, sizeof kGifSignature / 2},
     EncodeGif},
    {{0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     {0xb96b3caf, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     u"Built-in PNG Codec",
     u"PNG",
     u"*.PNG",
     u"image/png",
     {kPngSignature, 1, sizeof kPngSignature},
     EncodePng},
};

// MIME types hidden by the test seam.
struct HiddenEncoders {
  std::mutex mutex;
  std::set<std::u16string> mimeTypes;
};

HiddenEncoders& Hidden() {
  static HiddenEncoders* hidden = new HiddenEncoders();  // lives to process exit
  return *hidden;
}

std::vector<const Codec*> VisibleCodecs() {
  HiddenEncoders& hidden = Hidden();
  std::lock_guard<std::mutex> guard(hidden.mutex);
  std::vector<const Codec*> visible;
  for (const Codec& codec : kCodecs) {
    if (hidden.mimeTypes.count(codec.mimeType) == 0) visible.push_back(&codec);
  }
  return visible;
}

size_t StringBytes(const WCHAR* text) {
  return (std::char_traits<WCHAR>::length(text) + 1) * sizeof(WCHAR);
}

size_t DescriptionBytes(const Codec& codec) {
  return sizeof(ImageCodecInfo) + StringBytes(codec.name) + StringBytes(codec.description) +
         StringBytes(codec.extensions) + StringBytes(codec.mimeType) +
         2 * size_t(codec.signature.count) * codec.signature.size;
}

// Copies `size` bytes to the tail cursor and returns where they went.
template <typename T>
T* PlaceAt(BYTE*& tail, const T* source, size_t size) {
  std::memcpy(tail, source, size);
  T* placed = reinterpret_cast<T*>(tail);
  tail += size;
  return placed;
}

void Describe(const Codec& codec, ImageCodecInfo& info, BYTE*& tail) {
  info = ImageCodecInfo();
  info.Clsid = codec.clsid;
  info.FormatID = codec.format;
  info.CodecName = PlaceAt(tail, codec.name, StringBytes(codec.name));
  info.DllName = nullptr;  // built in, as GDI+ reports its own codecs
  info.FormatDescription = PlaceAt(tail, codec.description, StringBytes(codec.description));
  info.FilenameExtension = PlaceAt(tail, codec.extensions, StringBytes(codec.extensions));
  info.MimeType = PlaceAt(tail, codec.mimeType, StringBytes(codec.mimeType));
  info.Flags = kEncoderFlags;
  info.Version = kCodecVersion;
  info.SigCount = codec.signature.count;
  info.SigSize = codec.signature.size;
}

// Signature bytes go after all strings, keeping the strings 2-byte aligned.
void PlaceSignature(const Codec& codec, ImageCodecInfo& info, BYTE*& tail) {
  const size_t bytes = size_t(codec.signature.count) * codec.signature.size;
  info.SigPattern = PlaceAt(tail, codec.signature.pattern, bytes);
  info.SigMask = tail;
  std::memset(tail, 0xFF, bytes);
  tail += bytes;
}

const Codec* FindVisibleCodec(const CLSID& clsid) {
  for (const Codec* codec : VisibleCodecs()) {
    if (codec->clsid == clsid) return codec;
  }
  return nullptr;
}

}  // namespace
}  // namespace Internal
}  // namespace Gdiplus

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

GpStatus WINGDIPAPI GdipGetImageEncodersSize(UINT* numEncoders, UINT* size) {
  if (numEncoders == nullptr || size == nullptr) return InvalidParameter;
  try {
    const std::vector<const Codec*> visible = VisibleCodecs();
    size_t total = 0;
    for (const Codec* codec : visible) total += DescriptionBytes(*codec);
    *numEncoders = UINT(visible.size());
    *size = UINT(total);
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
  return Ok;
}

// `numEncoders` and `size` must be exactly what GdipGetImageEncodersSize
// answered (GenericError otherwise, as GDI+ does); descriptions, strings and
// signatures all live inside the caller's buffer.
GpStatus WINGDIPAPI GdipGetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders) {
  if (encoders == nullptr) return InvalidParameter;
  try {
    const std::vector<const Codec*> visible = VisibleCodecs();
    size_t total = 0;
    for (const Codec* codec : visible) total += DescriptionBytes(*codec);
    if (numEncoders != visible.size() || size != total) return GenericError;
    BYTE* tail = reinterpret_cast<BYTE*>(encoders + visible.size());
    for (size_t i = 0; i < visible.size(); ++i) Describe(*visible[i], encoders[i], tail);
    for (size_t i = 0; i < visible.size(); ++i) PlaceSignature(*visible[i], encoders[i], tail);
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
  return Ok;
}

// An encoder CLSID that is not installed (or hidden) gives UnknownImageFormat.
// Bytes go to the stream from its current position.
GpStatus WINGDIPAPI GdipSaveImageToStream(GpImage* image, IStream* stream,
                                          GDIPCONST CLSID* clsidEncoder,
                                          GDIPCONST EncoderParameters* params) {
  BitmapObject* bitmap = LookUpBitmap(image);
  if (bitmap == nullptr || stream == nullptr || clsidEncoder == nullptr) return InvalidParameter;
  const Codec* codec = FindVisibleCodec(*clsidEncoder);
  if (codec == nullptr) return UnknownImageFormat;
  StreamSink sink(stream);
  return codec->encode(SurfacePixels(bitmap->surface), params, sink);
}

// The file appears, or is replaced, only once completely written; on any
// failure no file is left behind and an existing one stays as it was.
GpStatus WINGDIPAPI GdipSaveImageToFile(GpImage* image, GDIPCONST WCHAR* filename,
                                        GDIPCONST CLSID* clsidEncoder,
                                        GDIPCONST EncoderParameters* params) {
  BitmapObject* bitmap = LookUpBitmap(image);
  if (bitmap == nullptr || filename == nullptr || clsidEncoder == nullptr) return InvalidParameter;
  const Codec* codec = FindVisibleCodec(*clsidEncoder);
  if (codec == nullptr) return UnknownImageFormat;
  FileSink sink;
  const GpStatus opened = sink.Open(filename);
  if (opened != Ok) return opened;
  const GpStatus encoded = codec->encode(SurfacePixels(bitmap->surface), params, sink);
  return encoded == Ok ? sink.Commit() : encoded;
}

}  // extern "C"
}  // namespace Gdiplus::DllExports

EXTERN_C void GlimmarkTest_HideEncoder(const WCHAR* mimeType) {
  if (mimeType == nullptr) return;
  Gdiplus::Internal::HiddenEncoders& hidden = Gdiplus::Internal::Hidden();
  std::lock_guard<std::mutex> guard(hidden.mutex);
  try {
    hidden.mimeTypes.insert(mimeType);
  } catch (const std::bad_alloc&) {
    // A test seam: nothing hidden then.
  }
}

EXTERN_C void GlimmarkTest_ShowAllEncoders(void) {
  Gdiplus::Internal::HiddenEncoders& hidden = Gdiplus::Internal::Hidden();
  std::lock_guard<std::mutex> guard(hidden.mutex);
  hidden.mimeTypes.clear();
}
