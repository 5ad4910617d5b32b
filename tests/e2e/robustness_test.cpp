// What other programs may put on the clipboard besides expressions: pictures,
// nothing at all, long texts, random bytes, and changes faster than anyone
// can read them. After each, the program must still run, keep its window,
// answer, evaluate the next expression, and leave its stored settings as they
// were.
#include "zarl_test.h"

#include <cstdio>
#include <random>
#include <string>

namespace e2e {
namespace {

class BadInput : public ZarlTest {
protected:
    void StartAndRemember(const std::vector<Setting>& settings = {}) {
        ASSERT_NO_FATAL_FAILURE(StartFresh(settings));
        std::optional<RegSnapshot> snapshot = SnapshotKey(kSettingsKey);
        ASSERT_TRUE(snapshot) << "no Settings key after start-up";
        settingsBefore_ = *snapshot;
    }

    void ExpectUnharmed(const std::string& expression = "1+2=") {
        ASSERT_NO_FATAL_FAILURE(ExpectAliveAndEvaluating(expression));
        std::optional<RegSnapshot> after = SnapshotKey(kSettingsKey);
        ASSERT_TRUE(after) << "the Settings key is gone";
        EXPECT_TRUE(*after == settingsBefore_)
            << "stored settings changed: " << DescribeSnapshotDifference(settingsBefore_, *after);
    }

    // Random texts: lengths mostly short, some around and beyond the 1024-byte
    // limit; any byte but NUL; half of them end in the key.
    void CopyRandomTexts(unsigned seed, int count, char key) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> byte(1, 255);
        std::uniform_int_distribution<int> shortLength(0, 40);
        std::uniform_int_distribution<int> longLength(1000, 1100);
        for (int i = 0; i < count; ++i) {
            size_t length = (i % 10 == 9) ? longLength(random) : shortLength(random);
            std::string text;
            for (size_t k = 0; k < length; ++k) text += static_cast<char>(byte(random));
            if (i % 2 == 0 && !text.empty()) text.back() = key;
            if (i % 4 == 1 && !text.empty()) text.front() = key;
            ClipboardWrite write = CopyText(text);
            ASSERT_TRUE(write.ok) << "random text " << i << " (seed " << seed
                                  << "): " << write.error;
        }
    }

    RegSnapshot settingsBefore_;
};

// A picture or an emptied clipboard after a result: nothing to evaluate, and
// least of all the text before it, which with the key in front still has it.
TEST_F(BadInput, PictureOrEmptiedClipboardAfterAResult) {
    for (const char* position : {"SUFFIX", "PREFIX"}) {
        SCOPED_TRACE(position);
        const std::string expression = position[0] == 'P' ? "=1+2" : "1+2=";
        ASSERT_NO_FATAL_FAILURE(StartAndRemember({Text("EvalKeyPosition", position)}));
        for (bool picture : {true, false}) {
            ASSERT_TRUE(CopyAndExpectResult(expression, "3"));
            ClipboardWrite write = picture ? CopyBitmap() : EmptyTheClipboard();
            ASSERT_TRUE(write.ok) << write.error;
            EXPECT_TRUE(ExpectClipboardStaysQuiet(write.seq, kQuietPeriod));
            if (picture) {
                EXPECT_TRUE(ClipboardHasFormat(CF_BITMAP)) << "the picture was taken off";
            }
        }
        ExpectUnharmed(expression);
        EXPECT_TRUE(zarl_->Close().exited);
        zarl_.reset();
    }
}

TEST_F(BadInput, LongTexts) {
    ASSERT_NO_FATAL_FAILURE(StartAndRemember());
    for (size_t length : {size_t{1024}, size_t{1025}, size_t{4096}, size_t{100000}}) {
        std::string text = "1+2";
        text.append(length - 4, ' ');
        text += '=';
        EXPECT_TRUE(CopyAndExpectNoChange(text)) << "length " << length;
    }
    std::string digits(1023, '9');
    digits.back() = '=';
    // 1022 nines: a literal far beyond a double's range is still read; the
    // result (an infinity or a failure) is the evaluator's business, but the
    // program must survive it.
    ClipboardWrite write = CopyText(digits);
    ASSERT_TRUE(write.ok) << write.error;
    ExpectUnharmed();
}

TEST_F(BadInput, RandomBytesWithKeyAtTheEnd) {
    ASSERT_NO_FATAL_FAILURE(StartAndRemember({Text("ShiftJIS", "Yes")}));
    ASSERT_NO_FATAL_FAILURE(CopyRandomTexts(20240611u, 300, '='));
    ExpectUnharmed();
}

// Prefix position with full-width handling: a lone lead byte at the end is
// paired with the terminating NUL.
TEST_F(BadInput, RandomBytesWithKeyAtTheStart) {
    ASSERT_NO_FATAL_FAILURE(
        StartAndRemember({Text("ShiftJIS", "Yes"), Text("EvalKeyPosition", "PREFIX")}));
    ASSERT_NO_FATAL_FAILURE(CopyRandomTexts(7u, 300, '='));
    for (const char* text : {"=1+2\x82", "=\x82", "\x81\x81\x82", "=\x81"}) {
        ClipboardWrite write = CopyText(text);
        ASSERT_TRUE(write.ok) << write.error;
    }
    ExpectUnharmed("=1+2");
}

TEST_F(BadInput, ThousandChangesInABurst) {
    ASSERT_NO_FATAL_FAILURE(StartAndRemember());
    auto start = Clock::now();
    for (int i = 0; i < 1000; ++i) {
        std::string text;
        switch (i % 4) {
            case 0: text = std::to_string(i) + "+1="; break;
            case 1: text = "no key " + std::to_string(i); break;
            case 2: text = std::to_string(i) + "*2=\r\n"; break;
            default: text = "1/0="; break;
        }
        ClipboardWrite write = CopyText(text);
        ASSERT_TRUE(write.ok) << "change " << i << ": " << write.error;
    }
    std::printf("[          ] 1000 clipboard changes written in %.0f ms\n",
                MillisecondsSince(start));
    ExpectUnharmed();
}

}  // namespace
}  // namespace e2e
