// Late-bound calls find the type library whatever locale the caller passes:
// script engines pass LOCALE_NEUTRAL, sessions their own language, and the
// library is registered under its own locale only. Each case runs in a
// process of its own (ctest), since the first successful load is kept.
#include <gtest/gtest.h>

#include "component/glimmark_interface.h"
#include "testing/glimmark_client.h"
#include "support/scratch_registry.h"
#include "support/server_registration.h"

namespace {

// A registry file of its own: test processes run side by side, and two
// registrations of one file at once would delete each other's keys.
class DispatchLocaleTest : public ScratchRegistry, public ::testing::WithParamInterface<LCID> {};

TEST_P(DispatchLocaleTest, NamesResolveInALocaleWithoutItsOwnLibrary) {
  ASSERT_EQ(RegisterBuiltServer(), S_OK);
  IGlimmark* object = nullptr;
  ASSERT_EQ(CreateGlimmark(&object), S_OK);
  LPOLESTR name = const_cast<LPOLESTR>(OLESTR("SetSize"));
  DISPID dispid = DISPID_UNKNOWN;
  const IID noInterface{};  // IID_NULL
  EXPECT_EQ(object->GetIDsOfNames(noInterface, &name, 1, GetParam(), &dispid), S_OK);
  EXPECT_EQ(dispid, kDispIdSetSize);
  object->Release();
}

INSTANTIATE_TEST_SUITE_P(Locales, DispatchLocaleTest,
                         ::testing::Values(LCID{0}, LCID{0x0407}, kGlimmarkLibraryLocale));

}  // namespace
