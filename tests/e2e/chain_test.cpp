// The clipboard-viewer chain with ZARL in the middle: viewers of the test
// process that joined before ZARL (behind it, reached only through ZARL's
// forwarding) and one that joined after it (ahead of it). Every member must see
// every change exactly once, also after a member leaves, and ZARL must keep
// evaluating. The chain built by each case, head first:
//
//     ahead -> ZARL -> behind2 -> behind1 -> behind0
//
// The viewers run on this thread; every wait pumps its messages.
#include "zarl_test.h"

#include "res/resource.h"

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {
namespace {

class ViewerChain : public ZarlTest {
protected:
    void BuildChain() {
        behind0_ = std::make_unique<TestViewer>("behind0");
        behind1_ = std::make_unique<TestViewer>("behind1");
        behind2_ = std::make_unique<TestViewer>("behind2");
        ahead_ = std::make_unique<TestViewer>("ahead");
        for (TestViewer* v : All())
            ASSERT_TRUE(v->Created()) << "could not create viewer " << v->Name();
        ASSERT_TRUE(behind0_->Join());
        ASSERT_TRUE(behind1_->Join());
        ASSERT_TRUE(behind2_->Join());
        ASSERT_NO_FATAL_FAILURE(StartFresh());
        ASSERT_TRUE(ahead_->Join());
        EXPECT_EQ(ahead_->Next(), zarl_->Window())
            << "ZARL is not the viewer after the one that joined last";
        // Joining sends the newcomer a notification, which runs down the
        // chain; the clipboard holds a text without key, so nothing is written.
        // Counting starts once ZARL has passed on its own and ahead's.
        ASSERT_TRUE(WaitUntil([&] { return ahead_->Draws() >= 1; }, kResultTimeout))
            << "the viewer that joined last was not told of the clipboard";
        ASSERT_TRUE(ZarlCaughtUp(zarl_->Window()));
        ASSERT_TRUE(WaitForClipboardToSettle(Ms{200}, Ms{5000}));
        for (TestViewer* v : All()) v->ResetCounts();
    }

    std::vector<TestViewer*> All() const {
        return {ahead_.get(), behind2_.get(), behind1_.get(), behind0_.get()};
    }

    // Copies an expression while `ahead` is the head of the chain. Our write
    // reaches ZARL through `ahead` inside our CloseClipboard; ZARL's result
    // reaches `ahead` afterwards, so `ahead` counting two changes means ZARL's
    // write is complete. Then every member must have seen exactly those two.
    void CopyThroughAhead(const std::string& text, const std::string& expected,
                          const std::vector<TestViewer*>& members,
                          const std::vector<TestViewer*>& gone) {
        ClipboardWrite write = CopyText(text);
        ASSERT_TRUE(write.ok) << write.error;
        // With Delay 0 the cycle runs inside the notification, which `ahead`
        // passes on inside our CloseClipboard.
        EXPECT_TRUE(write.overtaken) << "copied " << Printable(text)
                                     << ": ZARL's result was not written within the notification";
        ASSERT_TRUE(WaitUntil([&] { return ahead_->Draws() >= 2; }, kResultTimeout))
            << "copied " << Printable(text) << "; the viewer ahead of ZARL saw " << ahead_->Draws()
            << " change(s), expected ours and ZARL's result";
        ClipboardRead read = ReadClipboardText();
        EXPECT_EQ(Printable(read.text), Printable(expected)) << "copied " << Printable(text);
        EXPECT_TRUE(ExpectClipboardStaysQuiet(read.seq, kQuietPeriod, expected));
        ExpectCounts(members, gone, 2, write.seqOurs);
    }

    // Copies an expression while ZARL is the head of the chain.
    void CopyThroughZarl(const std::string& text, const std::string& expected,
                         const std::vector<TestViewer*>& members,
                         const std::vector<TestViewer*>& gone) {
        Outcome outcome = CopyAndAwaitChange(text);
        ASSERT_TRUE(outcome.write.ok) << outcome.write.error;
        ASSERT_TRUE(outcome.changed) << "copied " << Printable(text) << ", no result";
        EXPECT_EQ(Printable(outcome.read.text), Printable(expected))
            << "copied " << Printable(text);
        EXPECT_TRUE(ExpectClipboardStaysQuiet(outcome.read.seq, kQuietPeriod, expected));
        ExpectCounts(members, gone, 2, outcome.write.seqOurs);
    }

    // Every member saw `changes` notifications and the members that left none.
    // With ourSeq, each member's first notification came while the clipboard
    // still held our write: passed on before ZARL wrote its result.
    void ExpectCounts(const std::vector<TestViewer*>& members, const std::vector<TestViewer*>& gone,
                      int changes, std::optional<DWORD> ourSeq = std::nullopt) {
        // Notifications still on their way through ZARL.
        WaitUntil(
            [&] {
                for (TestViewer* v : members)
                    if (v->Draws() < changes) return false;
                return true;
            },
            Ms{2000});
        // A notification passed on twice would come while ZARL still handles
        // the change: once it has caught up, the counts are final.
        if (zarl_ && zarl_->WindowPresent()) {
            EXPECT_TRUE(ZarlCaughtUp(zarl_->Window()));
        }
        for (TestViewer* v : members) {
            EXPECT_EQ(v->Draws(), changes)
                << "viewer " << v->Name() << " saw " << v->Draws() << " notifications for "
                << changes << " clipboard changes";
            EXPECT_EQ(v->ForwardFailures(), 0)
                << "viewer " << v->Name() << " could not pass a message on";
            if (ourSeq && !v->DrawSequences().empty()) {
                EXPECT_EQ(v->DrawSequences().front(), *ourSeq)
                    << "viewer " << v->Name()
                    << " was told of our write only after the clipboard changed again "
                    << "(ZARL must pass the notification on before it evaluates)";
            }
        }
        for (TestViewer* v : gone)
            EXPECT_EQ(v->Draws(), 0) << "viewer " << v->Name() << " left the chain but still got "
                                     << v->Draws() << " notifications";
        for (TestViewer* v : All()) v->ResetCounts();
    }

    static std::string Changes(const TestViewer& v) {
        std::ostringstream out;
        for (auto [removed, next] : v.ChainChanges()) out << "(" << removed << ", " << next << ") ";
        return out.str();
    }

    // TearDown ends ZARL while these still exist: its leaving the chain is
    // announced to the viewer ahead, on this thread, which the wait pumps.
    std::unique_ptr<TestViewer> behind0_, behind1_, behind2_, ahead_;
};

TEST_F(ViewerChain, ViewersOnBothSidesSeeEveryChange) {
    ASSERT_NO_FATAL_FAILURE(BuildChain());
    CopyThroughAhead("1+2=", "3", All(), {});
    CopyThroughAhead("2+3=", "5", All(), {});
    // A change ZARL does not evaluate is passed on just the same.
    ClipboardWrite write = CopyText("no key");
    ASSERT_TRUE(write.ok);
    EXPECT_TRUE(ExpectClipboardStaysQuiet(write.seq, kQuietPeriod, std::string("no key")));
    ExpectCounts(All(), {}, 1);
    // Paused, ZARL evaluates nothing and still passes every change on.
    std::string title;
    ASSERT_TRUE(ChooseSystemMenu(zarl_->Window(), IDM_OPERATING));
    ASSERT_TRUE(WaitForTitle(zarl_->Window(), "ZARL-Pausing", kResultTimeout, &title)) << title;
    for (const char* text : {"4+4=", "5+5="}) {
        write = CopyText(text);
        ASSERT_TRUE(write.ok);
        EXPECT_TRUE(ExpectClipboardStaysQuiet(write.seq, kQuietPeriod, std::string(text)));
        ExpectCounts(All(), {}, 1);
    }
}

// behind1 leaves: the chain change comes through ahead and ZARL, and ZARL, whose
// next viewer is behind2, must pass it on unchanged so that behind2 links to
// behind0.
TEST_F(ViewerChain, ViewerFurtherBehindLeaves) {
    ASSERT_NO_FATAL_FAILURE(BuildChain());
    HWND leaving = behind1_->Window();
    HWND following = behind0_->Window();
    ASSERT_TRUE(behind1_->Leave());
    ASSERT_TRUE(WaitUntil([&] { return !behind2_->ChainChanges().empty(); }, kResultTimeout))
        << "behind2 did not get the chain change for behind1";
    ASSERT_TRUE(ZarlCaughtUp(zarl_->Window()));
    ASSERT_EQ(behind2_->ChainChanges().size(), 1u)
        << "behind2 should get the chain change for behind1 once; got " << Changes(*behind2_);
    EXPECT_EQ(behind2_->ChainChanges()[0], std::make_pair(leaving, following))
        << "the chain change reached behind2 altered";
    EXPECT_EQ(behind2_->Next(), following);
    for (TestViewer* v : All()) v->ResetCounts();
    CopyThroughAhead("2+3=", "5", {ahead_.get(), behind2_.get(), behind0_.get()}, {behind1_.get()});
}

// behind2, ZARL's own next viewer, leaves: ZARL must take behind1 as its next
// viewer and pass the chain change no further.
TEST_F(ViewerChain, NextViewerOfZarlLeaves) {
    ASSERT_NO_FATAL_FAILURE(BuildChain());
    ASSERT_TRUE(behind2_->Leave());
    // ZARL, which got the change, has caught up: nothing more can come.
    ASSERT_TRUE(ZarlCaughtUp(zarl_->Window()));
    EXPECT_TRUE(behind1_->ChainChanges().empty())
        << "behind1 got a chain change that concerned ZARL alone: " << Changes(*behind1_);
    EXPECT_TRUE(behind0_->ChainChanges().empty()) << "behind0 got " << Changes(*behind0_);
    for (TestViewer* v : All()) v->ResetCounts();
    CopyThroughAhead("3+4=", "7", {ahead_.get(), behind1_.get(), behind0_.get()}, {behind2_.get()});
    CopyThroughAhead("4+5=", "9", {ahead_.get(), behind1_.get(), behind0_.get()}, {behind2_.get()});
}

// The viewer ahead of ZARL leaves: ZARL is the head from then on, its own write
// is announced inside the write, and it still passes everything on.
TEST_F(ViewerChain, ViewerAheadLeaves) {
    ASSERT_NO_FATAL_FAILURE(BuildChain());
    ASSERT_TRUE(ahead_->Leave());
    ASSERT_TRUE(ZarlCaughtUp(zarl_->Window()));
    for (TestViewer* v : All()) v->ResetCounts();
    std::vector<TestViewer*> behind = {behind2_.get(), behind1_.get(), behind0_.get()};
    CopyThroughZarl("4+5=", "9", behind, {ahead_.get()});
    CopyThroughZarl("1+1=", "2", behind, {ahead_.get()});
}

// ZARL ends while a viewer is ahead of it: leaving the chain must link ahead to
// ZARL's next viewer, so the viewers behind keep getting notifications.
TEST_F(ViewerChain, ZarlLeavingKeepsTheChainIntact) {
    ASSERT_NO_FATAL_FAILURE(BuildChain());
    CopyThroughAhead("1+2=", "3", All(), {});
    HWND zarlWindow = zarl_->Window();
    Zarl::Ending ending = zarl_->Close();
    ASSERT_TRUE(ending.exited) << "ZARL did not end on WM_CLOSE";
    EXPECT_EQ(ending.exitCode, 0u);
    EXPECT_EQ(ahead_->Next(), behind2_->Window())
        << "after ZARL left, the viewer ahead does not point at ZARL's former next viewer; chain "
           "changes "
           "it got: "
        << Changes(*ahead_);
    bool sawZarlLeave = false;
    for (auto [removed, next] : ahead_->ChainChanges())
        if (removed == zarlWindow && next == behind2_->Window()) sawZarlLeave = true;
    EXPECT_TRUE(sawZarlLeave) << "chain changes seen ahead: " << Changes(*ahead_);
    for (TestViewer* v : All()) v->ResetCounts();
    // Nobody evaluates now, and every viewer still sees the change.
    ClipboardWrite write = CopyText("2+3=");
    ASSERT_TRUE(write.ok);
    EXPECT_TRUE(ExpectClipboardStaysQuiet(write.seq, kQuietPeriod, std::string("2+3=")));
    ExpectCounts(All(), {}, 1);
}

// Under Wine the notification of ZARL's own write reaches a viewer ahead of it
// only after the write has returned, and that viewer passes it back to ZARL.
// With "+" as prefix key and results written with a plus sign, taking that
// late notification for a new text would evaluate "+3" over and over.
TEST_F(ViewerChain, ResultIsNotEvaluatedAgainWithAViewerAhead) {
    ASSERT_NO_FATAL_FAILURE(StartFresh(
        {Text("EvalKeyPosition", "PREFIX"), Text("EvalKey", "+"), Text("OutFormatSign", "+")}));
    TestViewer ahead("ahead");
    ASSERT_TRUE(ahead.Join());
    ASSERT_TRUE(WaitForClipboardToSettle(Ms{200}, Ms{5000}));
    ahead.ResetCounts();
    ClipboardWrite write = CopyText("+1+2");
    ASSERT_TRUE(write.ok) << write.error;
    ASSERT_TRUE(WaitUntil([&] { return ahead.Draws() >= 2; }, kResultTimeout))
        << "the viewer ahead saw " << ahead.Draws()
        << " change(s), expected ours and ZARL's result";
    ClipboardRead read = ReadClipboardText();
    EXPECT_EQ(Printable(read.text), Printable("+3"));
    EXPECT_TRUE(ExpectClipboardStaysQuiet(read.seq, Ms{600}, std::string("+3")));
    EXPECT_EQ(ahead.Draws(), 2) << "ZARL wrote again after its result";
    EXPECT_TRUE(ahead.Leave());
}

}  // namespace
}  // namespace e2e
