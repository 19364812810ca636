// The GDI+ subset the component draws and encodes with, under the SDK's names
// and in its namespaces: types and flat functions in Gdiplus, the flat
// functions also in Gdiplus::DllExports (where the SDK's C++ headers put them).
// Implemented on cairo, FreeType and libjpeg-turbo by platform/gdiplus, with a GIF
// writer of its own (giflib decodes its files in the tests).
#pragma once

#include "objbase.h"
#include "objidl.h"
#include "windef.h"

#define WINGDIPAPI
#define GDIPCONST const

namespace Gdiplus {

typedef float REAL;

enum Status {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  ObjectBusy = 4,
  InsufficientBuffer = 5,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  Aborted = 9,
  FileNotFound = 10,
  ValueOverflow = 11,
  AccessDenied = 12,
  UnknownImageFormat = 13,
  FontFamilyNotFound = 14,
  FontStyleNotFound = 15,
  NotTrueTypeFont = 16,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
  PropertyNotFound = 19,
  PropertyNotSupported = 20,
  ProfileNotFound = 21
};
typedef Status GpStatus;

enum DebugEventLevel { DebugEventLevelFatal, DebugEventLevelWarning };
typedef VOID(WINAPI* DebugEventProc)(DebugEventLevel level, CHAR* message);

struct GdiplusStartupInput {
  UINT32 GdiplusVersion;
  DebugEventProc DebugEventCallback;
  BOOL SuppressBackgroundThread;
  BOOL SuppressExternalCodecs;
  GdiplusStartupInput(DebugEventProc debugEventCallback = nullptr,
                      BOOL suppressBackgroundThread = FALSE, BOOL suppressExternalCodecs = FALSE)
      : GdiplusVersion(1),
        DebugEventCallback(debugEventCallback),
        SuppressBackgroundThread(suppressBackgroundThread),
        SuppressExternalCodecs(suppressExternalCodecs) {}
};

typedef GpStatus(WINGDIPAPI* NotificationHookProc)(ULONG_PTR* token);
typedef VOID(WINGDIPAPI* NotificationUnhookProc)(ULONG_PTR token);
struct GdiplusStartupOutput {
  NotificationHookProc NotificationHook;
  NotificationUnhookProc NotificationUnhook;
  GdiplusStartupOutput() : NotificationHook(nullptr), NotificationUnhook(nullptr) {}
};

// Starts the library for one user; the token goes to GdiplusShutdown. Only
// version 1 is known. The library stays up while any start-up is not shut down.
extern "C" PLATFORM_API GpStatus WINGDIPAPI GdiplusStartup(ULONG_PTR* token,
                                                           const GdiplusStartupInput* input,
                                                           GdiplusStartupOutput* output);
extern "C" PLATFORM_API VOID WINGDIPAPI GdiplusShutdown(ULONG_PTR token);


typedef DWORD ARGB;
typedef INT PixelFormat;

// Pixel formats: index | bits per pixel << 8 | flags.
#define PixelFormatGDI 0x00020000
#define PixelFormatAlpha 0x00040000
#define PixelFormatCanonical 0x00200000
#define PixelFormat24bppRGB (8 | (24 << 8) | PixelFormatGDI)
#define PixelFormat32bppRGB (9 | (32 << 8) | PixelFormatGDI)
#define PixelFormat32bppARGB (10 | (32 << 8) | PixelFormatAlpha | PixelFormatGDI | PixelFormatCanonical)

enum Unit {
  UnitWorld = 0,
  UnitDisplay = 1,
  UnitPixel = 2,
  UnitPoint = 3,
  UnitInch = 4,
  UnitDocument = 5,
  UnitMillimeter = 6
};
typedef Unit GpUnit;

enum FontStyle {
  FontStyleRegular = 0,
  FontStyleBold = 1,
  FontStyleItalic = 2,
  FontStyleBoldItalic = 3,
  FontStyleUnderline = 4,
  FontStyleStrikeout = 8
};

enum MatrixOrder { MatrixOrderPrepend = 0, MatrixOrderAppend = 1 };
typedef MatrixOrder GpMatrixOrder;

enum SmoothingMode {
  SmoothingModeInvalid = -1,
  SmoothingModeDefault = 0,
  SmoothingModeHighSpeed = 1,
  SmoothingModeHighQuality = 2,
  SmoothingModeNone = 3,
  SmoothingModeAntiAlias = 4,
  SmoothingModeAntiAlias8x4 = 4,
  SmoothingModeAntiAlias8x8 = 5
};

enum TextRenderingHint {
  TextRenderingHintSystemDefault = 0,
  TextRenderingHintSingleBitPerPixelGridFit = 1,
  TextRenderingHintSingleBitPerPixel = 2,
  TextRenderingHintAntiAliasGridFit = 3,
  TextRenderingHintAntiAlias = 4,
  TextRenderingHintClearTypeGridFit = 5
};

enum InterpolationMode {
  InterpolationModeInvalid = -1,
  InterpolationModeDefault = 0,
  InterpolationModeLowQuality = 1,
  InterpolationModeHighQuality = 2,
  InterpolationModeBilinear = 3,
  InterpolationModeBicubic = 4,
  InterpolationModeNearestNeighbor = 5,
  InterpolationModeHighQualityBilinear = 6,
  InterpolationModeHighQualityBicubic = 7
};

enum ImageLockMode {
  ImageLockModeRead = 1,
  ImageLockModeWrite = 2,
  ImageLockModeUserInputBuf = 4
};

enum EncoderParameterValueType {
  EncoderParameterValueTypeByte = 1,
  EncoderParameterValueTypeASCII = 2,
  EncoderParameterValueTypeShort = 3,
  EncoderParameterValueTypeLong = 4,
  EncoderParameterValueTypeRational = 5,
  EncoderParameterValueTypeLongRange = 6,
  EncoderParameterValueTypeUndefined = 7,
  EncoderParameterValueTypeRationalRange = 8
};

struct RectF {
  REAL X;
  REAL Y;
  REAL Width;
  REAL Height;
  RectF() : X(0), Y(0), Width(0), Height(0) {}
  RectF(REAL x, REAL y, REAL width, REAL height) : X(x), Y(y), Width(width), Height(height) {}
};

struct Rect {
  INT X;
  INT Y;
  INT Width;
  INT Height;
  Rect() : X(0), Y(0), Width(0), Height(0) {}
  Rect(INT x, INT y, INT width, INT height) : X(x), Y(y), Width(width), Height(height) {}
};
typedef Rect GpRect;
typedef RectF GpRectF;

struct BitmapData {
  UINT Width;
  UINT Height;
  INT Stride;
  INT PixelFormat;
  VOID* Scan0;
  UINT_PTR Reserved;
};

struct EncoderParameter {
  GUID Guid;
  ULONG NumberOfValues;
  ULONG Type;
  VOID* Value;
};

struct EncoderParameters {
  UINT Count;
  EncoderParameter Parameter[1];
};

struct ImageCodecInfo {
  CLSID Clsid;
  GUID FormatID;
  WCHAR* CodecName;
  WCHAR* DllName;
  WCHAR* FormatDescription;
  WCHAR* FilenameExtension;
  WCHAR* MimeType;
  DWORD Flags;
  DWORD Version;
  DWORD SigCount;
  DWORD SigSize;
  BYTE* SigPattern;
  BYTE* SigMask;
};

// {1d5be4b5-fa4a-452d-9cdd-5db35105e7eb}
extern "C" PLATFORM_API const GUID EncoderQuality;

// Opaque handles. Bitmaps are images, solid fills are brushes.
class GpImage {};
class GpBitmap : public GpImage {};
class GpGraphics {};
class GpBrush {};
class GpSolidFill : public GpBrush {};
class GpPen {};
class GpFont {};
class GpFontFamily {};
class GpFontCollection {};
class GpMatrix {};
class GpStringFormat {};
class GpImageAttributes {};

typedef BOOL(CALLBACK* ImageAbort)(VOID*);
typedef ImageAbort DrawImageAbort;

namespace DllExports {

extern "C" {
// Memory for wrapper objects.
PLATFORM_API VOID* WINGDIPAPI GdipAlloc(size_t size);
PLATFORM_API VOID WINGDIPAPI GdipFree(VOID* block);

// Surfaces.
PLATFORM_API GpStatus WINGDIPAPI GdipCreateBitmapFromScan0(INT width, INT height, INT stride,
                                                          PixelFormat format, BYTE* scan0,
                                                          GpBitmap** bitmap);
PLATFORM_API GpStatus WINGDIPAPI GdipGetImageGraphicsContext(GpImage* image,
                                                            GpGraphics** graphics);
PLATFORM_API GpStatus WINGDIPAPI GdipGetImageWidth(GpImage* image, UINT* width);
PLATFORM_API GpStatus WINGDIPAPI GdipGetImageHeight(GpImage* image, UINT* height);
PLATFORM_API GpStatus WINGDIPAPI GdipDeleteGraphics(GpGraphics* graphics);
PLATFORM_API GpStatus WINGDIPAPI GdipDisposeImage(GpImage* image);

// Fill and text.
PLATFORM_API GpStatus WINGDIPAPI GdipCreateSolidFill(ARGB color, GpSolidFill** brush);
PLATFORM_API GpStatus WINGDIPAPI GdipDeleteBrush(GpBrush* brush);
PLATFORM_API GpStatus WINGDIPAPI GdipFillRectangleI(GpGraphics* graphics, GpBrush* brush, INT x,
                                                   INT y, INT width, INT height);
PLATFORM_API GpStatus WINGDIPAPI GdipSetTextRenderingHint(GpGraphics* graphics,
                                                         TextRenderingHint hint);
PLATFORM_API GpStatus WINGDIPAPI GdipMeasureString(GpGraphics* graphics, GDIPCONST WCHAR* text,
                                                  INT length, GDIPCONST GpFont* font,
                                                  GDIPCONST RectF* layoutRect,
                                                  GDIPCONST GpStringFormat* format,
                                                  RectF* boundingBox, INT* codepointsFitted,
                                                  INT* linesFilled);
PLATFORM_API GpStatus WINGDIPAPI GdipDrawString(GpGraphics* graphics, GDIPCONST WCHAR* text,
                                               INT length, GDIPCONST GpFont* font,
                                               GDIPCONST RectF* layoutRect,
                                               GDIPCONST GpStringFormat* format,
                                               GDIPCONST GpBrush* brush);

// Fonts.
PLATFORM_API GpStatus WINGDIPAPI GdipCreateFontFamilyFromName(GDIPCONST WCHAR* name,
                                                             GpFontCollection* collection,
                                                             GpFontFamily** family);
PLATFORM_API GpStatus WINGDIPAPI GdipGetGenericFontFamilySansSerif(GpFontFamily** family);
PLATFORM_API GpStatus WINGDIPAPI GdipCreateFont(GDIPCONST GpFontFamily* family, REAL emSize,
                                               INT style, Unit unit, GpFont** font);
PLATFORM_API GpStatus WINGDIPAPI GdipDeleteFontFamily(GpFontFamily* family);
PLATFORM_API GpStatus WINGDIPAPI GdipDeleteFont(GpFont* font);
PLATFORM_API GpStatus WINGDIPAPI GdipGetFamilyName(GDIPCONST GpFontFamily* family, WCHAR* name,
                                                  LANGID language);

// Transforms.
PLATFORM_API GpStatus WINGDIPAPI GdipCreateMatrix(GpMatrix** matrix);
PLATFORM_API GpStatus WINGDIPAPI GdipTranslateMatrix(GpMatrix* matrix, REAL offsetX, REAL offsetY,
                                                    GpMatrixOrder order);
PLATFORM_API GpStatus WINGDIPAPI GdipRotateMatrix(GpMatrix* matrix, REAL angle,
                                                 GpMatrixOrder order);
PLATFORM_API GpStatus WINGDIPAPI GdipMultiplyWorldTransform(GpGraphics* graphics,
                                                           GDIPCONST GpMatrix* matrix,
                                                           GpMatrixOrder order);
PLATFORM_API GpStatus WINGDIPAPI GdipDeleteMatrix(GpMatrix* matrix);
// Beyond what the component calls: reading matrices back, resetting a context.
PLATFORM_API GpStatus WINGDIPAPI GdipGetMatrixElements(GDIPCONST GpMatrix* matrix, REAL* elements);
PLATFORM_API GpStatus WINGDIPAPI GdipResetWorldTransform(GpGraphics* graphics);
PLATFORM_API GpStatus WINGDIPAPI GdipGetWorldTransform(GpGraphics* graphics, GpMatrix* matrix);

// Curves.
PLATFORM_API GpStatus WINGDIPAPI GdipCreatePen1(ARGB color, REAL width, GpUnit unit, GpPen** pen);
PLATFORM_API GpStatus WINGDIPAPI GdipSetPenWidth(GpPen* pen, REAL width);
PLATFORM_API GpStatus WINGDIPAPI GdipDrawBezierI(GpGraphics* graphics, GpPen* pen, INT x1, INT y1,
                                                INT x2, INT y2, INT x3, INT y3, INT x4, INT y4);
PLATFORM_API GpStatus WINGDIPAPI GdipDeletePen(GpPen* pen);
PLATFORM_API GpStatus WINGDIPAPI GdipSetSmoothingMode(GpGraphics* graphics, SmoothingMode mode);

// Pixels.
PLATFORM_API GpStatus WINGDIPAPI GdipBitmapLockBits(GpBitmap* bitmap, GDIPCONST GpRect* rect,
                                                   UINT flags, PixelFormat format,
                                                   BitmapData* lockedData);
PLATFORM_API GpStatus WINGDIPAPI GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* lockedData);

// Compositing.
PLATFORM_API GpStatus WINGDIPAPI GdipSetInterpolationMode(GpGraphics* graphics,
                                                         InterpolationMode mode);
PLATFORM_API GpStatus WINGDIPAPI GdipDrawImageI(GpGraphics* graphics, GpImage* image, INT x, INT y);
PLATFORM_API GpStatus WINGDIPAPI GdipDrawImageRectRectI(
    GpGraphics* graphics, GpImage* image, INT dstx, INT dsty, INT dstwidth, INT dstheight,
    INT srcx, INT srcy, INT srcwidth, INT srcheight, GpUnit srcUnit,
    GDIPCONST GpImageAttributes* attributes, DrawImageAbort callback, VOID* callbackData);

// Encoding.
PLATFORM_API GpStatus WINGDIPAPI GdipGetImageEncodersSize(UINT* numEncoders, UINT* size);
PLATFORM_API GpStatus WINGDIPAPI GdipGetImageEncoders(UINT numEncoders, UINT size,
                                                     ImageCodecInfo* encoders);
PLATFORM_API GpStatus WINGDIPAPI GdipSaveImageToStream(GpImage* image, IStream* stream,
                                                      GDIPCONST CLSID* clsidEncoder,
                                                      GDIPCONST EncoderParameters* params);
PLATFORM_API GpStatus WINGDIPAPI GdipSaveImageToFile(GpImage* image, GDIPCONST WCHAR* filename,
                                                    GDIPCONST CLSID* clsidEncoder,
                                                    GDIPCONST EncoderParameters* params);
}  // extern "C"

}  // namespace DllExports

}  // namespace Gdiplus
