// In-memory streams: reading, writing, seeking, sizes, references, failures.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "glimmark_test_seams.h"
#include "objidl.h"

namespace {

LARGE_INTEGER Offset(LONGLONG value) {
  LARGE_INTEGER offset;
  offset.QuadPart = value;
  return offset;
}

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream_), S_OK); }
  void TearDown() override {
    if (stream_ != nullptr) {
      EXPECT_EQ(stream_->Release(), 0u);
    }
  }

  ULONGLONG Position() {
    ULARGE_INTEGER position{};
    EXPECT_EQ(stream_->Seek(Offset(0), STREAM_SEEK_CUR, &position), S_OK);
    return position.QuadPart;
  }
  ULONGLONG Size() {
    STATSTG stat{};
    EXPECT_EQ(stream_->Stat(&stat, STATFLAG_NONAME), S_OK);
    return stat.cbSize.QuadPart;
  }
  std::string ReadAll() {
    EXPECT_EQ(stream_->Seek(Offset(0), STREAM_SEEK_SET, nullptr), S_OK);
    std::string text(Size(), '?');
    ULONG read = 0;
    EXPECT_EQ(stream_->Read(text.data(), ULONG(text.size()), &read), S_OK);
    EXPECT_EQ(read, text.size());
    return text;
  }

  IStream* stream_ = nullptr;
};

TEST_F(StreamTest, WrittenBytesReadBackFromWhereTheySeek) {
  ULONG written = 0;
  ASSERT_EQ(stream_->Write("hello world", 11, &written), S_OK);
  EXPECT_EQ(written, 11u);
  EXPECT_EQ(Position(), 11u);
  ULARGE_INTEGER position{};
  ASSERT_EQ(stream_->Seek(Offset(-5), STREAM_SEEK_END, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 6u);
  char buffer[16] = {};
  ULONG read = 0;
  ASSERT_EQ(stream_->Read(buffer, 3, &read), S_OK);
  EXPECT_EQ(std::string(buffer, read), "wor");
  ASSERT_EQ(stream_->Seek(Offset(-9), STREAM_SEEK_CUR, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 0u);
  ASSERT_EQ(stream_->Write("J", 1, nullptr), S_OK);
  EXPECT_EQ(ReadAll(), "Jello world");
  // Reading at the end gives what is left: nothing, still S_OK.
  ASSERT_EQ(stream_->Read(buffer, sizeof buffer, &read), S_OK);
  EXPECT_EQ(read, 0u);
}

TEST_F(StreamTest, ShortReadAtTheEndReturnsWhatIsThere) {
  stream_->Write("abcdef", 6, nullptr);
  stream_->Seek(Offset(4), STREAM_SEEK_SET, nullptr);
  char buffer[10] = {};
  ULONG read = 99;
  ASSERT_EQ(stream_->Read(buffer, 10, &read), S_OK);
  EXPECT_EQ(read, 2u);
  EXPECT_EQ(std::string(buffer, 2), "ef");
}

TEST_F(StreamTest, WritingPastTheEndLeavesAZeroGap) {
  stream_->Write("ab", 2, nullptr);
  ASSERT_EQ(stream_->Seek(Offset(5), STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_EQ(Size(), 2u);  // seeking alone does not grow it
  stream_->Write("z", 1, nullptr);
  EXPECT_EQ(ReadAll(), std::string("ab\0\0\0z", 6));
}

TEST_F(StreamTest, BadSeeksAreRefusedAndKeepThePosition) {
  stream_->Write("abc", 3, nullptr);
  ULARGE_INTEGER position{};
  position.QuadPart = 77;
  EXPECT_EQ(stream_->Seek(Offset(-4), STREAM_SEEK_END, &position), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream_->Seek(Offset(-1), STREAM_SEEK_SET, &position), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream_->Seek(Offset(INT64_MAX), STREAM_SEEK_CUR, &position), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream_->Seek(Offset(INT64_MIN), STREAM_SEEK_CUR, &position), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream_->Seek(Offset(0), 3, &position), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(position.QuadPart, 77u);
  EXPECT_EQ(Position(), 3u);
}

TEST_F(StreamTest, SetSizeGrowsWithZerosAndTruncates) {
  stream_->Write("abcdef", 6, nullptr);
  ULARGE_INTEGER size{};
  size.QuadPart = 3;
  ASSERT_EQ(stream_->SetSize(size), S_OK);
  EXPECT_EQ(ReadAll(), "abc");
  size.QuadPart = 5;
  ASSERT_EQ(stream_->SetSize(size), S_OK);
  EXPECT_EQ(ReadAll(), std::string("abc\0\0", 5));
  size.QuadPart = ULONGLONG{1} << 40;
  EXPECT_EQ(stream_->SetSize(size), STG_E_MEDIUMFULL);
  EXPECT_EQ(Size(), 5u);
}

TEST_F(StreamTest, StatDescribesAnUnnamedStream) {
  stream_->Write("12345678", 8, nullptr);
  STATSTG stat;
  std::memset(&stat, 0xCC, sizeof stat);
  ASSERT_EQ(stream_->Stat(&stat, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(stat.type, DWORD(STGTY_STREAM));
  EXPECT_EQ(stat.cbSize.QuadPart, 8u);
  EXPECT_EQ(stat.pwcsName, nullptr);
  EXPECT_EQ(stream_->Stat(nullptr, STATFLAG_DEFAULT), STG_E_INVALIDPOINTER);
}

TEST_F(StreamTest, ReferencesCountAndInterfacesAnswer) {
  EXPECT_EQ(stream_->AddRef(), 2u);
  void* asUnknown = nullptr;
  void* asSequential = nullptr;
  void* other = reinterpret_cast<void*>(0x1);
  ASSERT_EQ(stream_->QueryInterface(IID_IUnknown, &asUnknown), S_OK);
  ASSERT_EQ(stream_->QueryInterface(IID_ISequentialStream, &asSequential), S_OK);
  const IID unknownIid = {0x12345678, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(stream_->QueryInterface(unknownIid, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(stream_->QueryInterface(IID_IStream, nullptr), E_POINTER);
  EXPECT_EQ(static_cast<IUnknown*>(asUnknown)->Release(), 3u);
  EXPECT_EQ(static_cast<ISequentialStream*>(asSequential)->Release(), 2u);
  EXPECT_EQ(stream_->Release(), 1u);
}

TEST_F(StreamTest, CopyToMovesBytesFromThePosition) {
  stream_->Write("0123456789", 10, nullptr);
  stream_->Seek(Offset(2), STREAM_SEEK_SET, nullptr);
  IStream* copy = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &copy), S_OK);
  ULARGE_INTEGER count{}, read{}, written{};
  count.QuadPart = 5;
  ASSERT_EQ(stream_->CopyTo(copy, count, &read, &written), S_OK);
  EXPECT_EQ(read.QuadPart, 5u);
  EXPECT_EQ(written.QuadPart, 5u);
  EXPECT_EQ(Position(), 7u);
  char buffer[8] = {};
  copy->Seek(Offset(0), STREAM_SEEK_SET, nullptr);
  ULONG got = 0;
  copy->Read(buffer, 8, &got);
  EXPECT_EQ(std::string(buffer, got), "23456");
  copy->Release();
}

TEST_F(StreamTest, UnsupportedOperationsSaySo) {
  ULARGE_INTEGER zero{};
  EXPECT_EQ(stream_->LockRegion(zero, zero, 0), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream_->UnlockRegion(zero, zero, 0), STG_E_INVALIDFUNCTION);
  IStream* clone = reinterpret_cast<IStream*>(0x1);
  EXPECT_EQ(stream_->Clone(&clone), E_NOTIMPL);
  EXPECT_EQ(clone, nullptr);
  EXPECT_EQ(stream_->Commit(0), S_OK);
  EXPECT_EQ(stream_->Read(nullptr, 4, nullptr), STG_E_INVALIDPOINTER);
  EXPECT_EQ(stream_->Write(nullptr, 4, nullptr), STG_E_INVALIDPOINTER);
}

TEST(StreamCreationTest, ArgumentsAndTheFailureSeam) {
  IStream* stream = reinterpret_cast<IStream*>(0x1);
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
  int notAHandle = 0;
  EXPECT_EQ(CreateStreamOnHGlobal(&notAHandle, TRUE, &stream), E_INVALIDARG);
  EXPECT_EQ(stream, nullptr);
  GlimmarkTest_FailNextStreamCreation();
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), E_OUTOFMEMORY);
  EXPECT_EQ(stream, nullptr);
  // Only the next one fails.
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, FALSE, &stream), S_OK);
  stream->Write("freed on release even without delete-on-release", 20, nullptr);
  EXPECT_EQ(stream->Release(), 0u);
}

TEST(StreamCreationTest, LargeWritesGrowTheStream) {
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  std::vector<BYTE> block(1 << 20, 0x5A);
  for (int i = 0; i < 8; ++i)
    ASSERT_EQ(stream->Write(block.data(), ULONG(block.size()), nullptr), S_OK);
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  EXPECT_EQ(stat.cbSize.QuadPart, 8u << 20);
  stream->Release();
}

}  // namespace
