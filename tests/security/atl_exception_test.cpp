#include "security/atl_exception.h"

#include <gtest/gtest.h>

#include <string>

namespace keyscout {
namespace {

HRESULT RaisedBy(auto&& action) {
  try {
    GuardAllocation(action);
  } catch (const CAtlException& e) {
    return e.hr();
  }
  return 0;
}

TEST(GuardAllocationTest, RunningOutOfMemoryBecomesEOutOfMemoryAndTheModelsOwnCodesPassOn) {
  EXPECT_EQ(RaisedBy([] { throw std::bad_alloc(); }), E_OUTOFMEMORY);
  // A text asked to grow past its limit.
  EXPECT_EQ(RaisedBy([] { std::u16string().reserve(std::u16string().max_size() + 1); }), E_OUTOFMEMORY);
  EXPECT_EQ(RaisedBy([] { AtlThrow(E_INVALIDARG); }), E_INVALIDARG);
  EXPECT_EQ(GuardAllocation([] { return 7; }), 7);
}

}  // namespace
}  // namespace keyscout
