// Output through the object: complete GIF and JPEG files as byte arrays and
// files, and every failure reported with its message and error information.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "component/cglimmark.h"
#include "component/error_report.h"
#include "glimmark_test_seams.h"
#include "support/image_decoding.h"
#include "testing/glimmark_client.h"

namespace {

class ImageOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateGlimmark(&object_), S_OK);
    folder_ = std::filesystem::temp_directory_path() /
              ("glimmark-output-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    object_->Release();
    GlimmarkTest_ShowAllEncoders();
    std::filesystem::remove_all(folder_);
  }

  // SaveToVar's bytes; fails the test unless the variant is a byte array.
  std::vector<uint8_t> SaveToVarBytes() {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(object_->SaveToVar(&result), S_OK);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(result.vt, VT_ARRAY | VT_UI1);
    if (result.vt != (VT_ARRAY | VT_UI1)) return bytes;
    SAFEARRAY* array = result.parray;
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(lower, 0);
    void* data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(array, &data), S_OK);
    const auto* begin = static_cast<const uint8_t*>(data);
    bytes.assign(begin, begin + (upper - lower + 1));
    SafeArrayUnaccessData(array);
    VariantClear(&result);
    return bytes;
  }

  // The error information the last failure posted: (source, description).
  std::pair<std::u16string, std::u16string> TakeErrorInfo() {
    IErrorInfo* info = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &info), S_OK);
    if (info == nullptr) return {};
    BSTR source = nullptr, description = nullptr;
    info->GetSource(&source);
    info->GetDescription(&description);
    std::pair<std::u16string, std::u16string> result{source ? source : u"",
                                                     description ? description : u""};
    SysFreeString(source);
    SysFreeString(description);
    info->Release();
    return result;
  }

  HRESULT SaveToFile(const std::string& path) {
    const std::u16string wide(path.begin(), path.end());
    BSTR name = SysAllocString(wide.c_str());
    const HRESULT result = object_->SaveToFile(name);
    SysFreeString(name);
    return result;
  }

  IGlimmark* object_ = nullptr;
  std::filesystem::path folder_;
};

bool IsCompleteJpeg(const std::vector<uint8_t>& bytes) {
  return bytes.size() > 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 &&
         bytes[bytes.size() - 2] == 0xFF && bytes[bytes.size() - 1] == 0xD9;
}

bool IsGif(const std::vector<uint8_t>& bytes) {
  return bytes.size() > 6 && std::string(bytes.begin(), bytes.begin() + 3) == "GIF" &&
         bytes.back() == 0x3B;
}

TEST_F(ImageOutputTest, DefaultsGiveACompleteJpegOfTheSetSize) {
  const std::vector<uint8_t> bytes = SaveToVarBytes();
  EXPECT_TRUE(IsCompleteJpeg(bytes));
  const DecodedImage image = DecodeJpeg(bytes);
  EXPECT_TRUE(image.ok);
  EXPECT_EQ(image.width, 200);
  EXPECT_EQ(image.height, 70);
}

TEST_F(ImageOutputTest, FormatOneIsGifEveryOtherValueJpeg) {
  object_->SetSize(120, 45);
  object_->SetOutputFormat(1, 0);
  const std::vector<uint8_t> gif = SaveToVarBytes();
  EXPECT_TRUE(IsGif(gif));
  const DecodedImage image = DecodeGif(gif);
  EXPECT_TRUE(image.ok);
  EXPECT_EQ(image.width, 120);
  EXPECT_EQ(image.height, 45);
  for (LONG format : {0, 2, 7, -1}) {
    object_->SetOutputFormat(format, 0);
    EXPECT_TRUE(IsCompleteJpeg(SaveToVarBytes())) << format;
  }
}

TEST_F(ImageOutputTest, EachCallDrawsTheSameTextWithFreshChoices) {
  const std::vector<uint8_t> first = SaveToVarBytes();
  const std::vector<uint8_t> second = SaveToVarBytes();
  EXPECT_NE(first, second);
  BSTR text = nullptr;
  object_->get_Text(&text);
  EXPECT_EQ(std::u16string(text), u"Captcha Test");
  SysFreeString(text);
}

TEST_F(ImageOutputTest, QualityOfZeroOrLessKeepsThePreviousQuality) {
  auto averageSize = [this] {
    size_t total = 0;
    for (int i = 0; i < 4; ++i) total += SaveToVarBytes().size();
    return total / 4;
  };
  object_->SetOutputFormat(2, 5);
  const size_t low = averageSize();
  object_->SetOutputFormat(2, 100);
  const size_t high = averageSize();
  EXPECT_GT(high, low * 2);
  object_->SetOutputFormat(2, 5);
  object_->SetOutputFormat(2, 0);
  object_->SetOutputFormat(2, -7);
  EXPECT_LT(averageSize(), (low + high) / 2);
}

TEST_F(ImageOutputTest, SaveToFileReplacesAnExistingFile) {
  const std::string path = (folder_ / "picture.jpg").string();
  {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fputs(std::string(100000, 'x').c_str(), file);
    std::fclose(file);
  }
  EXPECT_EQ(SaveToFile(path), S_OK);
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  EXPECT_TRUE(IsCompleteJpeg(bytes));
  EXPECT_TRUE(DecodeJpeg(bytes).ok);

  object_->SetOutputFormat(1, 0);
  const std::string gifPath = (folder_ / "picture.gif").string();
  EXPECT_EQ(SaveToFile(gifPath), S_OK);
  EXPECT_TRUE(DecodeGif(ReadFileBytes(gifPath)).ok);
}

TEST_F(ImageOutputTest, MissingFolderFailsWithTheFileMessage) {
  const HRESULT result = SaveToFile((folder_ / "no-such-folder" / "x.jpg").string());
  EXPECT_EQ(result, static_cast<HRESULT>(0x80040100));
  const auto [source, description] = TakeErrorInfo();
  EXPECT_EQ(source, u"Glimmark");
  EXPECT_EQ(description, u"Cannot save into the file");
  EXPECT_EQ(std::u16string(Implementation(object_)->Settings()->errorMessage),
            u"Cannot save into the file");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "no-such-folder"));
}

// Without an error object to post, a failed output still answers its own
// result (never the error object's E_OUTOFMEMORY), and posts nothing.
TEST_F(ImageOutputTest, FailureWithoutAnErrorObjectKeepsItsResult) {
  SetErrorInfo(0, nullptr);
  GlimmarkTest_FailNextErrorInfoCreation();
  const HRESULT result = SaveToFile((folder_ / "no-such-folder" / "x.jpg").string());
  EXPECT_EQ(result, static_cast<HRESULT>(0x80040100));
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(info, nullptr);
}

TEST_F(ImageOutputTest, MissingEncoderNamesTheFormat) {
  GlimmarkTest_HideEncoder(u"image/jpeg");
  VARIANT untouched;
  untouched.vt = VT_I4;
  untouched.lVal = 12345;
  EXPECT_EQ(object_->SaveToVar(&untouched), static_cast<HRESULT>(0x80040100));
  EXPECT_EQ(untouched.vt, VT_I4);
  EXPECT_EQ(untouched.lVal, 12345);
  EXPECT_EQ(TakeErrorInfo().second, u"Cannot find jpeg encoder CLSID");
  EXPECT_EQ(SaveToFile((folder_ / "a.jpg").string()), static_cast<HRESULT>(0x80040100));
  EXPECT_EQ(TakeErrorInfo().second, u"Cannot find jpeg encoder CLSID");

  object_->SetOutputFormat(1, 0);
  EXPECT_TRUE(IsGif(SaveToVarBytes()));  // GIF still works
  GlimmarkTest_HideEncoder(u"image/gif");
  EXPECT_EQ(object_->SaveToVar(&untouched), static_cast<HRESULT>(0x80040100));
  EXPECT_EQ(TakeErrorInfo().second, u"Cannot find gif encoder CLSID");
}

TEST_F(ImageOutputTest, FailingTempStreamIsReported) {
  GlimmarkTest_FailNextStreamCreation();
  VARIANT untouched;
  untouched.vt = VT_EMPTY;
  EXPECT_EQ(object_->SaveToVar(&untouched), static_cast<HRESULT>(0x80040100));
  EXPECT_EQ(untouched.vt, VT_EMPTY);
  EXPECT_EQ(TakeErrorInfo().second, u"Cannot create temp stream");
  EXPECT_TRUE(IsCompleteJpeg(SaveToVarBytes()));  // only the next creation failed
}

TEST_F(ImageOutputTest, SizesThatCannotBeMadeFailClearly) {
  for (auto [width, height] : {std::pair{0, 70}, std::pair{200, 0}, std::pair{-5, 70},
                               std::pair{200, -1}, std::pair{INT32_MAX, INT32_MAX}}) {
    object_->SetSize(width, height);
    VARIANT untouched;
    untouched.vt = VT_EMPTY;
    EXPECT_EQ(object_->SaveToVar(&untouched), static_cast<HRESULT>(0x80040100));
    EXPECT_EQ(untouched.vt, VT_EMPTY);
    EXPECT_EQ(TakeErrorInfo().second, u"Cannot create image of the set size");
  }
}

TEST_F(ImageOutputTest, UnusualSettingsStillGiveAPicture) {
  object_->SetSize(30, 12);  // low: margins shrink
  EXPECT_TRUE(DecodeJpeg(SaveToVarBytes()).ok);
  object_->SetSize(200, 70);
  object_->SetLines(3, -4);  // negative curve width
  EXPECT_TRUE(DecodeJpeg(SaveToVarBytes()).ok);
  object_->SetLines(2, 0);
  EXPECT_TRUE(DecodeJpeg(SaveToVarBytes()).ok);
  object_->SetOutputFormat(2, 1000);  // quality beyond 100 is clamped by the encoder
  EXPECT_TRUE(DecodeJpeg(SaveToVarBytes()).ok);
  BSTR empty = SysAllocString(u"");
  object_->put_Text(empty);
  SysFreeString(empty);
  EXPECT_TRUE(DecodeJpeg(SaveToVarBytes()).ok);
}

TEST_F(ImageOutputTest, NullDestinationIsRefused) {
  EXPECT_EQ(object_->SaveToVar(nullptr), E_POINTER);
}

}  // namespace
