// Page events and Send: which page objects are taken, in what order, what is
// released on every failure, and what Send writes into the held response.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/cglimmark.h"
#include "component/error_report.h"
#include "glimmark_test_seams.h"
#include "scripting_context_double.h"
#include "support/image_decoding.h"
#include "testing/glimmark_client.h"

namespace {

const CallLog kFullStart = {"QueryInterface IScriptingContext",
                            "get_Request",
                            "get_Response",
                            "get_Server",
                            "get_Session",
                            "get_Application"};
const CallLog kEndReleases = {"Release Request", "Release Response", "Release Server",
                              "Release Session", "Release Application"};
const std::vector<ULONG> kOnlyContextHolds = {1, 1, 1, 1, 1};
const std::vector<ULONG> kObjectHoldsAll = {2, 2, 2, 2, 2};

CallLog Concat(CallLog a, const CallLog& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::u16string TakeErrorDescription() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return u"";
  BSTR description = nullptr;
  info->GetDescription(&description);
  std::u16string text = description ? std::u16string(description, SysStringLen(description)) : u"";
  SysFreeString(description);
  info->Release();
  return text;
}

class PageOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CreateGlimmark(&object_), S_OK); }
  void TearDown() override {
    if (object_ != nullptr) object_->Release();
    for (ScriptingContextDouble* context : contexts_) context->Release();
    GlimmarkTest_ShowAllEncoders();
  }
  ScriptingContextDouble* NewContext(ContextGetter failing = ContextGetter::kNone,
                                     HRESULT failure = E_FAIL) {
    contexts_.push_back(new ScriptingContextDouble(failing, failure));
    return contexts_.back();
  }
  HRESULT Start(ScriptingContextDouble* context) {
    return object_->OnStartPage(static_cast<IScriptingContext*>(context));
  }

  IGlimmark* object_ = nullptr;
  std::vector<ScriptingContextDouble*> contexts_;
};

TEST_F(PageOperationsTest, TheObjectsEndGivesBackWhatIsStillHeldInReverseOrder) {
  ScriptingContextDouble* context = NewContext();
  ASSERT_EQ(Start(context), S_OK);
  context->log.clear();
  object_->Release();
  object_ = nullptr;
  EXPECT_EQ(context->log, (CallLog{"Release Application", "Release Server", "Release Session",
                                   "Release Response", "Release Request"}));
  EXPECT_EQ(context->PageObjectReferences(), kOnlyContextHolds);
}

TEST_F(PageOperationsTest, StartTakesTheFiveObjectsInOrderAndEndGivesThemBack) {
  ScriptingContextDouble* context = NewContext();
  ASSERT_EQ(Start(context), S_OK);
  EXPECT_EQ(context->log, kFullStart);
  EXPECT_EQ(context->References(), 1u);  // the context itself is not kept
  EXPECT_EQ(context->PageObjectReferences(), kObjectHoldsAll);

  context->log.clear();
  EXPECT_EQ(object_->OnEndPage(), S_OK);
  EXPECT_EQ(context->log, kEndReleases);
  EXPECT_EQ(context->PageObjectReferences(), kOnlyContextHolds);
}

TEST_F(PageOperationsTest, NullContextIsAPointerErrorAndHoldsNothing) {
  EXPECT_EQ(object_->OnStartPage(nullptr), E_POINTER);
  EXPECT_EQ(object_->Send(), kOutputFailure);  // no response held
}

// An object that answers only IUnknown.
class PlainUnknown : public RequestDefaults {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
    if (riid == IID_IUnknown) return RequestDefaults::QueryInterface(riid, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
};

TEST_F(PageOperationsTest, ObjectThatIsNoContextReturnsTheQueryFailure) {
  auto* plain = new PlainUnknown();
  EXPECT_EQ(object_->OnStartPage(plain), E_NOINTERFACE);
  EXPECT_EQ(plain->References(), 1u);
  plain->Release();
  EXPECT_EQ(object_->Send(), kOutputFailure);
}

// A failing getter: the calls stop there, the objects taken before it are
// released again in page order and then the context, the failure comes back
// unchanged, and no error information is posted.
struct GetterFailure {
  ContextGetter getter;
  size_t callsMade;  // entries of kFullStart logged before the releases
  CallLog releases;
};

class FailingGetterTest : public PageOperationsTest,
                          public ::testing::WithParamInterface<GetterFailure> {};

TEST_P(FailingGetterTest, ReleasesWhatWasTakenAndReturnsTheFailure) {
  const GetterFailure& c = GetParam();
  const HRESULT failure = static_cast<HRESULT>(0x80070005);  // E_ACCESSDENIED
  SetErrorInfo(0, nullptr);
  ScriptingContextDouble* context = NewContext(c.getter, failure);
  context->logOwnReleases = true;
  EXPECT_EQ(Start(context), failure);
  const CallLog expected =
      Concat(Concat(CallLog(kFullStart.begin(), kFullStart.begin() + c.callsMade), c.releases),
             {"Release ScriptingContext"});
  EXPECT_EQ(context->log, expected);
  EXPECT_EQ(context->References(), 1u);
  EXPECT_EQ(context->PageObjectReferences(), kOnlyContextHolds);
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(object_->Send(), kOutputFailure);  // nothing held
}

INSTANTIATE_TEST_SUITE_P(
    EachGetter, FailingGetterTest,
    ::testing::Values(
        GetterFailure{ContextGetter::kRequest, 2, {}},
        GetterFailure{ContextGetter::kResponse, 3, {"Release Request"}},
        GetterFailure{ContextGetter::kServer, 4, {"Release Request", "Release Response"}},
        GetterFailure{
            ContextGetter::kSession, 5, {"Release Request", "Release Response", "Release Server"}},
        GetterFailure{
            ContextGetter::kApplication,
            6,
            {"Release Request", "Release Response", "Release Server", "Release Session"}}));

TEST_F(PageOperationsTest, EndWithoutStartOrTwiceSucceeds) {
  EXPECT_EQ(object_->OnEndPage(), S_OK);
  ScriptingContextDouble* context = NewContext();
  ASSERT_EQ(Start(context), S_OK);
  EXPECT_EQ(object_->OnEndPage(), S_OK);
  context->log.clear();
  EXPECT_EQ(object_->OnEndPage(), S_OK);
  EXPECT_TRUE(context->log.empty());
}

TEST_F(PageOperationsTest, SecondStartGivesTheFirstObjectsBack) {
  ScriptingContextDouble* first = NewContext();
  ScriptingContextDouble* second = NewContext();
  ASSERT_EQ(Start(first), S_OK);
  first->log.clear();
  ASSERT_EQ(Start(second), S_OK);
  EXPECT_EQ(first->log, kEndReleases);
  EXPECT_EQ(first->PageObjectReferences(), kOnlyContextHolds);
  EXPECT_EQ(second->PageObjectReferences(), kObjectHoldsAll);
  ASSERT_EQ(object_->Send(), S_OK);
  EXPECT_TRUE(first->response->body.empty());
  EXPECT_FALSE(second->response->body.empty());
}

TEST_F(PageOperationsTest, FailedSecondStartKeepsTheFirstObjects) {
  ScriptingContextDouble* first = NewContext();
  ASSERT_EQ(Start(first), S_OK);
  ScriptingContextDouble* failing = NewContext(ContextGetter::kSession);
  EXPECT_EQ(Start(failing), E_FAIL);
  EXPECT_EQ(first->PageObjectReferences(), kObjectHoldsAll);
  EXPECT_EQ(failing->PageObjectReferences(), kOnlyContextHolds);
  ASSERT_EQ(object_->Send(), S_OK);
  EXPECT_FALSE(first->response->body.empty());
}

struct SendCase {
  LONG outputFormat;
  const char* contentType;
  DecodedImage (*decode)(const std::vector<uint8_t>&);
};

class SendFormatTest : public PageOperationsTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendFormatTest, WritesTheContentTypeThenTheWholePicture) {
  const SendCase& c = GetParam();
  object_->SetOutputFormat(c.outputFormat, 0);
  object_->SetSize(160, 50);
  ScriptingContextDouble* context = NewContext();
  ASSERT_EQ(Start(context), S_OK);
  context->log.clear();
  ASSERT_EQ(object_->Send(), S_OK);
  EXPECT_EQ(context->log, (CallLog{"put_ContentType", "BinaryWrite"}));
  EXPECT_EQ(context->response->contentType, c.contentType);
  const DecodedImage image = c.decode(context->response->body);
  EXPECT_TRUE(image.ok);
  EXPECT_EQ(image.width, 160);
  EXPECT_EQ(image.height, 50);
  EXPECT_EQ(context->PageObjectReferences(), kObjectHoldsAll);  // Send takes no reference
}

INSTANTIATE_TEST_SUITE_P(Formats, SendFormatTest,
                         ::testing::Values(SendCase{1, "image/gif", DecodeGif},
                                           SendCase{2, "image/jpeg", DecodeJpeg},
                                           SendCase{0, "image/jpeg", DecodeJpeg}));

TEST_F(PageOperationsTest, SendWithoutEncoderTouchesNothing) {
  ScriptingContextDouble* context = NewContext();
  ASSERT_EQ(Start(context), S_OK);
  context->log.clear();
  GlimmarkTest_HideEncoder(u"image/jpeg");
  EXPECT_EQ(object_->Send(), kOutputFailure);
  EXPECT_EQ(TakeErrorDescription(), u"Cannot find jpeg encoder CLSID");
  EXPECT_TRUE(context->log.empty());
  EXPECT_TRUE(context->response->body.empty());
}

TEST_F(PageOperationsTest, SendAfterEndFailsBeforeRendering) {
  ScriptingContextDouble* context = NewContext();
  ASSERT_EQ(Start(context), S_OK);
  object_->OnEndPage();
  context->log.clear();
  EXPECT_EQ(object_->Send(), kOutputFailure);
  EXPECT_EQ(TakeErrorDescription(), u"No page response: call OnStartPage first");
  EXPECT_EQ(Implementation(object_)->Settings()->font, nullptr);  // no rendering chose a font
  EXPECT_TRUE(context->log.empty());
}

// Send reports every failure of its own through the error report, the
// content type's string that cannot be made among them: never a bare
// E_OUTOFMEMORY, and nothing written.
TEST_F(PageOperationsTest, SendReportsAContentTypeItCannotMake) {
  ScriptingContextDouble* context = NewContext();
  ASSERT_EQ(Start(context), S_OK);
  context->log.clear();
  ASSERT_EQ(object_->Send(), S_OK);  // renders once, so the next Send's first string is its own
  context->log.clear();
  context->response->body.clear();
  GlimmarkTest_FailNextStringAllocation();
  EXPECT_EQ(object_->Send(), kOutputFailure);
  EXPECT_EQ(TakeErrorDescription(), u"Cannot create the content type");
  EXPECT_TRUE(context->log.empty());
  EXPECT_TRUE(context->response->body.empty());
}

TEST_F(PageOperationsTest, ResponseFailuresAreNotSendsFailures) {
  ScriptingContextDouble* context = NewContext();
  context->response->answer = E_FAIL;
  ASSERT_EQ(Start(context), S_OK);
  EXPECT_EQ(object_->Send(), S_OK);
  EXPECT_EQ(object_->Send(), S_OK);  // each call writes a new picture
  EXPECT_GT(context->response->body.size(), 0u);
}

}  // namespace
