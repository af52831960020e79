// The readiness queue and how a failed handshake reads in a reason.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "readiness_queue.h"
#include "runtime.h"

namespace truvello {
namespace {

TEST(DebugRendering, EscapesQuotesBackslashesAndControls) {
  EXPECT_EQ(debug_quoted("plain text"), "\"plain text\"");
  EXPECT_EQ(debug_quoted("a\"b\\c\td\re\nf\x01g\x1bh\x7f"), R"("a\"b\\c\td\re\nf\u{1}g\u{1b}h\u{7f}")");
  EXPECT_EQ(debug_quoted(std::string_view("nul\0end", 7)), R"("nul\u{0}end")");
  EXPECT_EQ(debug_quoted("caf\xc3\xa9"), "\"caf\xc3\xa9\"") << "printable UTF-8 passes through";
}

TEST(DebugRendering, ReceiveOutcomes) {
  EXPECT_EQ(debug_rendering(std::nullopt), "Err(RecvError)");
  EXPECT_EQ(debug_rendering(Readiness::error("no \"table\"")), R"(Ok(Err("no \"table\"")))");
}

TEST(ReadinessQueue, DeliversInOrderThenReportsDisconnection) {
  auto [sender, receiver] = ReadinessQueue::make();
  ReadySender a = sender.clone();
  ReadySender b = sender.clone();
  sender.release();
  a.send(Unit{});
  b.send(Readiness::error("broken"));
  a.release();
  b.release();
  auto first = receiver.receive();
  ASSERT_TRUE(first && first->ok());
  auto second = receiver.receive();
  ASSERT_TRUE(second && !second->ok());
  EXPECT_EQ(second->message(), "broken");
  EXPECT_FALSE(receiver.receive()) << "empty with no sending end left";
}

TEST(ReadinessQueue, SendingWithTheReceiverGoneIsDropped) {
  auto queue = ReadinessQueue::make();
  ReadySender sender = std::move(queue.first);
  { ReadyReceiver gone = std::move(queue.second); }
  sender.send(Unit{});  // no effect, no failure
}

TEST(ReadinessQueue, AThreadDyingByExceptionStillReleasesItsEnd) {
  auto [sender, receiver] = ReadinessQueue::make();
  System system;
  auto handle = system.spawn(0, WorkItem([end = sender.clone()]() mutable {
                               (void)end;
                               throw std::runtime_error("dies before sending");
                             }));
  sender.release();
  EXPECT_FALSE(receiver.receive()) << "learns of it by disconnection, not by waiting forever";
  ASSERT_TRUE(handle.ok());
  EXPECT_EQ(handle.value().join(), JoinHandle::Outcome::kAbnormal);
}

}  // namespace
}  // namespace truvello
