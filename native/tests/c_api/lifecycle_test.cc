#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "handle.h"
#include "owned_handle.h"
#include "truvello.h"
#include "truvello_version.h"

namespace {

using truvello::testing::OwnedHandle;

OwnedHandle create() { return truvello::testing::make_handle(); }

TEST(Lifecycle, VersionsNeedNoHandle) {
  EXPECT_EQ(truvello_abi_version(), 1u);
  ASSERT_NE(truvello_version(), nullptr);
  EXPECT_STREQ(truvello_version(), TRUVELLO_VERSION_TEXT);
  EXPECT_EQ(truvello_version(), truvello_version());  // static text, not a fresh copy
}

TEST(Lifecycle, NullHandleCallsDoNothing) {
  truvello_free(nullptr);
  truvello_cancel(nullptr);
}

TEST(Lifecycle, FreshHandleIsIdleAndEmpty) {
  const OwnedHandle handle = create();
  ASSERT_NE(handle.get(), nullptr);
  ASSERT_NE(handle->cancel, nullptr);
  EXPECT_FALSE(handle->cancel->load());
  EXPECT_EQ(handle->cancel.use_count(), 1);
  EXPECT_FALSE(handle->started.load());
  const std::lock_guard lock(handle->last_mutex);
  EXPECT_FALSE(handle->last.has_value());
}

TEST(Lifecycle, HandlesAreIndependent) {
  const OwnedHandle first = create();
  const OwnedHandle second = create();
  ASSERT_NE(first.get(), second.get());
  EXPECT_NE(first->cancel, second->cancel);
  truvello_cancel(first.get());
  EXPECT_TRUE(first->cancel->load());
  EXPECT_FALSE(second->cancel->load());
}

TEST(Lifecycle, CancelSticksAndRepeatsHarmlessly) {
  const OwnedHandle handle = create();
  truvello_cancel(handle.get());
  EXPECT_TRUE(handle->cancel->load());
  truvello_cancel(handle.get());
  EXPECT_TRUE(handle->cancel->load());
  EXPECT_FALSE(handle->started.load());  // cancelling does not claim the handle
}

TEST(Lifecycle, CancelReachesARunHoldingTheFlag) {
  const OwnedHandle handle = create();
  const std::shared_ptr<std::atomic<bool>> run_view = handle->cancel;
  truvello_cancel(handle.get());
  EXPECT_TRUE(run_view->load());
}

TEST(Lifecycle, FreeReleasesTheHandlesFlagReference) {
  truvello_handle* handle = truvello_create();
  const std::weak_ptr<std::atomic<bool>> flag = handle->cancel;
  truvello_free(handle);
  EXPECT_TRUE(flag.expired());
}

TEST(Lifecycle, FlagOutlivesTheHandleWhileSomeoneStillHoldsIt) {
  truvello_handle* handle = truvello_create();
  truvello_cancel(handle);
  const std::shared_ptr<std::atomic<bool>> held = handle->cancel;
  truvello_free(handle);
  EXPECT_EQ(held.use_count(), 1);
  EXPECT_TRUE(held->load());
}

TEST(Lifecycle, FreeReleasesAStoredOutcome) {
  // Leaks show under LeakSanitizer; elsewhere this checks free copes with a
  // full slot.
  truvello_handle* handle = truvello_create();
  {
    const std::lock_guard lock(handle->last_mutex);
    Stored stored{truvello::make_report(2, 1.0, 2.0), {}};
    stored.report.reason = "a reason long enough to live on the heap, not inline";
    stored.report.samples.resize(64);
    stored.reason_text.assign(stored.report.reason.begin(), stored.report.reason.end());
    stored.reason_text.push_back('\0');
    handle->last.emplace(std::move(stored));
  }
  truvello_free(handle);
}

}  // namespace
