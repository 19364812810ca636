#include "output/image_encoding.h"

// The graphics headers need the OLE types declared first.
#include <ole2.h>

#include <gdiplus.h>

#include "output/encoder_lookup.h"
#include "render/graphics_wrappers.h"
#include "render/render_image.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

const OLECHAR kMessageNoGifEncoder[] = OLESTR("Cannot find gif encoder CLSID");
const OLECHAR kMessageNoJpegEncoder[] = OLESTR("Cannot find jpeg encoder CLSID");
const OLECHAR kMessageNoTempStream[] = OLESTR("Cannot create temp stream");
const OLECHAR kMessageTempStreamWrite[] = OLESTR("Cannot save into temp stream");
const OLECHAR kMessageFileWrite[] = OLESTR("Cannot save into the file");
// Not one of the encoder's failures: a size the graphics library cannot make
// (zero, negative or beyond its cap) would otherwise surface as a misleading
// "cannot save" message, so it is named for what it is.
const OLECHAR kMessageNoBitmap[] = OLESTR("Cannot create image of the set size");

namespace {

const OLECHAR kGifMimeType[] = OLESTR("image/gif");
const OLECHAR kJpegMimeType[] = OLESTR("image/jpeg");

// The encoder and its parameter list for the record's output format.
struct EncoderChoice {
  CLSID clsid;
  EncoderParameters parameters;
};

int Fail(ChallengeSettings* settings, const OLECHAR* message) {
  CopyBoundedText(settings->errorMessage, message);
  return -1;
}

// Finds the encoder; on failure sets the message and returns false.
bool ChooseEncoder(ChallengeSettings* settings, EncoderChoice* choice) {
  const bool gif = settings->outputFormat == kOutputFormatGif;
  if (FindEncoderClsid(gif ? kGifMimeType : kJpegMimeType, &choice->clsid) < 0) {
    Fail(settings, gif ? kMessageNoGifEncoder : kMessageNoJpegEncoder);
    return false;
  }
  choice->parameters.Count = 0;
  if (!gif) {
    // The quality is passed as stored; the encoder clamps what it cannot use.
    choice->parameters.Count = 1;
    choice->parameters.Parameter[0].Guid = EncoderQuality;
    choice->parameters.Parameter[0].NumberOfValues = 1;
    choice->parameters.Parameter[0].Type = EncoderParameterValueTypeLong;
    choice->parameters.Parameter[0].Value = &settings->jpegQuality;
  }
  return true;
}

// Makes the working bitmap and renders the challenge onto it; null (with the
// message set) when no bitmap of the set size can be made.
std::unique_ptr<GraphicsImage> RenderChallenge(ChallengeSettings* settings) {
  auto bitmap = MakeGraphics<GraphicsImage>(settings->width, settings->height);
  if (bitmap == nullptr || bitmap->LastStatus() != Ok) {
    Fail(settings, kMessageNoBitmap);
    return nullptr;
  }
  RenderImage(settings, *bitmap);
  return bitmap;
}

// Releases an interface when it goes out of scope.
struct StreamReference {
  IStream* stream = nullptr;
  ~StreamReference() {
    if (stream != nullptr) stream->Release();
  }
};

// Reads the whole stream into a new byte array; null when the array cannot be
// made or filled.
SAFEARRAY* ReadIntoByteArray(IStream* stream) {
  LARGE_INTEGER offset;
  offset.QuadPart = 0;
  ULARGE_INTEGER end;
  end.QuadPart = 0;
  stream->Seek(offset, STREAM_SEEK_END, &end);
  stream->Seek(offset, STREAM_SEEK_SET, nullptr);
  const ULONG size = static_cast<ULONG>(end.QuadPart);  // the low 32 bits

  SAFEARRAYBOUND bound;
  bound.cElements = size;
  bound.lLbound = 0;
  SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
  if (array == nullptr) return nullptr;
  void* data = nullptr;
  ULONG read = 0;
  const bool filled = SafeArrayAccessData(array, &data) == S_OK &&
                      SUCCEEDED(stream->Read(data, size, &read)) && read == size;
  if (data != nullptr) SafeArrayUnaccessData(array);
  if (!filled) {
    SafeArrayDestroy(array);
    return nullptr;
  }
  return array;
}

}  // namespace

int EncodeToBytes(ChallengeSettings* settings, VARIANT* destination) {
  const std::unique_ptr<GraphicsImage> bitmap = RenderChallenge(settings);
  if (bitmap == nullptr) return -1;
  EncoderChoice encoder;
  if (!ChooseEncoder(settings, &encoder)) return -1;
  StreamReference temp;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &temp.stream)) || temp.stream == nullptr) {
    return Fail(settings, kMessageNoTempStream);
  }
  if (GdipSaveImageToStream(bitmap->Handle(), temp.stream, &encoder.clsid, &encoder.parameters) !=
      Ok) {
    return Fail(settings, kMessageTempStreamWrite);
  }
  // A byte array that cannot be made or filled means the bytes never left the
  // temp stream: reported as such rather than handed out half-empty.
  SAFEARRAY* bytes = ReadIntoByteArray(temp.stream);
  if (bytes == nullptr) return Fail(settings, kMessageTempStreamWrite);
  VariantInit(destination);
  destination->vt = VT_ARRAY | VT_UI1;
  destination->parray = bytes;
  return 0;
}

int EncodeToFile(ChallengeSettings* settings, const WCHAR* fileName) {
  const std::unique_ptr<GraphicsImage> bitmap = RenderChallenge(settings);
  if (bitmap == nullptr) return -1;
  EncoderChoice encoder;
  if (!ChooseEncoder(settings, &encoder)) return -1;
  if (GdipSaveImageToFile(bitmap->Handle(), fileName, &encoder.clsid, &encoder.parameters) != Ok) {
    return Fail(settings, kMessageFileWrite);
  }
  return 0;
}
