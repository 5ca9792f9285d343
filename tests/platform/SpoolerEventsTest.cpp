// The job's end told by the print server's events, the poll when the
// server keeps none, and the abort that cuts a request the server never
// answers. Scripted servers on sockets of their own, one thread each (CUPS
// reads CUPS_SERVER per thread).

#include "platform/Spooler.h"

#include "tests/support/FakeIppServer.h"

#include <cups/ipp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace quillon_test;
using platform::JobEvent;
using platform::JobStatus;

namespace {

using Clock = std::chrono::steady_clock;

// Runs `body` on a thread of its own whose print server is `server`.
void WithServer(const FakeIppServer& server, const std::function<void()>& body) {
  ASSERT_TRUE(server.Ready());
  const char* was = std::getenv("CUPS_SERVER");
  const std::string saved = was ? was : "";
  ::setenv("CUPS_SERVER", server.Path().c_str(), 1);
  std::thread(body).join();
  if (was) ::setenv("CUPS_SERVER", saved.c_str(), 1);
  else ::unsetenv("CUPS_SERVER");
}

bool Sent(const FakeIppServer& server, int op) {
  const std::vector<int> ops = server.Operations();
  return std::find(ops.begin(), ops.end(), op) != ops.end();
}

// An abort asked for `afterMs` after it starts; the time from the abort
// to the end of the call being measured.
class LateAbort {
 public:
  explicit LateAbort(int afterMs) : at_(Clock::now() + std::chrono::milliseconds(afterMs)) {}
  platform::SpoolerAbort Check() {
    return [this] { return Clock::now() >= at_; };
  }
  double SecondsSinceAbort() const {
    return std::chrono::duration<double>(Clock::now() - at_).count();
  }

 private:
  Clock::time_point at_;
};

}  // namespace

TEST(SpoolerEvents, TheJobsEndIsToldByItsEventsAndTheSubscriptionIsCancelled) {
  FakeIppServer server;
  server.OfferSubscriptions({IPP_JSTATE_PROCESSING, IPP_JSTATE_COMPLETED});
  WithServer(server, [] {
    platform::PrinterHandle h;
    ASSERT_TRUE(h.Open("fake"));
    ASSERT_EQ(h.StartRawDoc("events"), 7);
    EXPECT_TRUE(h.WatchesJobEvents());
    ASSERT_TRUE(h.WriteBlock("data", 4));
    ASSERT_TRUE(h.EndDoc());
    platform::JobState st;
    // The last event counts: the poll of this server would say "canceled".
    EXPECT_EQ(h.NextJobEvent(st), JobEvent::Changed);
    EXPECT_EQ(st.status, JobStatus::Completed);
  });
  EXPECT_TRUE(Sent(server, IPP_OP_GET_NOTIFICATIONS));
  EXPECT_FALSE(Sent(server, IPP_OP_GET_JOB_ATTRIBUTES));
  EXPECT_TRUE(Sent(server, IPP_OP_CANCEL_SUBSCRIPTION));
}

// A server that ignores the subscription (no id in the answer) or refuses
// the ask for events: the job is polled, and a subscription it did take is
// still cancelled.
TEST(SpoolerEvents, AServerWithoutEventsLeavesTheJobToThePoll) {
  FakeIppServer ignoring;
  WithServer(ignoring, [] {
    platform::PrinterHandle h;
    ASSERT_TRUE(h.Open("fake"));
    ASSERT_EQ(h.StartRawDoc("no events"), 7);
    EXPECT_FALSE(h.WatchesJobEvents());
    platform::JobState st;
    EXPECT_EQ(h.NextJobEvent(st), JobEvent::NotWatched);
  });
  EXPECT_FALSE(Sent(ignoring, IPP_OP_GET_NOTIFICATIONS));
  EXPECT_FALSE(Sent(ignoring, IPP_OP_CANCEL_SUBSCRIPTION));

  FakeIppServer refusing;
  refusing.OfferSubscriptions({IPP_JSTATE_COMPLETED});
  refusing.SetReply(IPP_OP_GET_NOTIFICATIONS, {0x0501, "no events here"});
  WithServer(refusing, [] {
    platform::PrinterHandle h;
    ASSERT_TRUE(h.Open("fake"));
    ASSERT_EQ(h.StartRawDoc("refused events"), 7);
    ASSERT_TRUE(h.WriteBlock("data", 4));
    ASSERT_TRUE(h.EndDoc());
    platform::JobState st;
    EXPECT_EQ(h.NextJobEvent(st), JobEvent::NotWatched);
    EXPECT_FALSE(h.WatchesJobEvents());
    EXPECT_EQ(h.QueryJob(7).status, JobStatus::Canceled);
  });
  EXPECT_TRUE(Sent(refusing, IPP_OP_CANCEL_SUBSCRIPTION));

  // Nothing happened yet: asked again later.
  FakeIppServer quiet;
  quiet.OfferSubscriptions({});
  WithServer(quiet, [] {
    platform::PrinterHandle h;
    ASSERT_TRUE(h.Open("fake"));
    ASSERT_EQ(h.StartRawDoc("quiet"), 7);
    platform::JobState st;
    EXPECT_EQ(h.NextJobEvent(st), JobEvent::None);
    EXPECT_TRUE(h.WatchesJobEvents());
  });
}

// A server that takes the connection and never answers: every request of
// the handle and of the queue hold gives up within a second of the abort
// (the bound of a request is 15 s).
TEST(SpoolerAbort, EveryRequestTheServerNeverAnswersEndsWithinASecondOfTheAbort) {
  struct Stage {
    const char* name;
    std::function<void(FakeIppServer&)> script;
    std::function<bool(platform::PrinterHandle&, const platform::SpoolerAbort&)> call;
  };
  const auto startJob = [](platform::PrinterHandle& h) {
    return h.Open("fake") && h.StartRawDoc("abort") == 7;
  };
  const std::vector<Stage> stages = {
      {"open", [](FakeIppServer& s) { s.HoldAnswersTo(FakeIppServer::kEveryOperation); },
       [](platform::PrinterHandle& h, const platform::SpoolerAbort&) { return h.Open("fake"); }},
      {"create job", [](FakeIppServer& s) { s.HoldAnswersTo(IPP_OP_CREATE_JOB); },
       [&](platform::PrinterHandle& h, const platform::SpoolerAbort&) { return startJob(h); }},
      {"document data", [](FakeIppServer& s) { s.StallStreamedRequests(); },
       [&](platform::PrinterHandle& h, const platform::SpoolerAbort&) {
         if (!startJob(h)) return true;
         const std::string block(64 * 1024, 'x');
         // The socket takes some before it is full.
         for (int i = 0; i < 4096; ++i)
           if (!h.WriteBlock(block.data(), block.size())) return false;
         return true;
       }},
      {"document answer", [](FakeIppServer& s) { s.HoldAnswersTo(IPP_OP_SEND_DOCUMENT); },
       [&](platform::PrinterHandle& h, const platform::SpoolerAbort&) {
         return !startJob(h) || !h.WriteBlock("data", 4) || h.EndDoc();
       }},
      {"job events",
       [](FakeIppServer& s) {
         s.OfferSubscriptions({});
         s.HoldAnswersTo(IPP_OP_GET_NOTIFICATIONS);
       },
       [&](platform::PrinterHandle& h, const platform::SpoolerAbort&) {
         platform::JobState st;
         return !startJob(h) || !h.WriteBlock("data", 4) || !h.EndDoc() ||
                h.NextJobEvent(st) != JobEvent::NoAnswer;
       }},
      {"queue hold", [](FakeIppServer& s) { s.HoldAnswersTo(FakeIppServer::kEveryOperation); },
       [](platform::PrinterHandle&, const platform::SpoolerAbort& abort) {
         platform::QueueHold hold;
         hold.SetAbort(abort);
         return hold.Begin("fake", platform::kFirmwareUpdateMessage);
       }},
  };
  for (const Stage& stage : stages) {
    SCOPED_TRACE(stage.name);
    FakeIppServer server;
    stage.script(server);
    WithServer(server, [&] {
      LateAbort late(300);
      platform::PrinterHandle h;
      h.SetAbort(late.Check());
      EXPECT_FALSE(stage.call(h, late.Check()));
      EXPECT_LT(late.SecondsSinceAbort(), 1.0);
      // The cancel after the abort finds the server hanging: not waited
      // for beyond its own second.
      h.Close();
      EXPECT_LT(late.SecondsSinceAbort(), 2.5);
    });
  }
}
