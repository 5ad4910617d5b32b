// The help file as the program opens it. Every context number the program
// asks for must open the topic the manual gives that number: F1 on the
// Settings dialog's controls, F1 in the Result and Immediate windows, and the
// system menu's "&Help" for the contents. What the help engine does is read
// from its own trace (WINEDEBUG=+winhelp): the request it got, the pages of
// the file it loaded, and the page it then showed. The expected topics come
// from the manual's source, so the check follows the manual and the map.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "res/resource.h"
#include "zarl_test.h"

namespace e2e {
namespace {

#ifdef ZARL_E2E_DOCS
const std::string kDocs = ZARL_E2E_DOCS;
#else
const std::string kDocs;
#endif

std::optional<std::string> ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string TrimEnd(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// Context number -> the title of the manual's section that holds the topic
// the number is mapped to (contexts.txt names topics, zarl.but names them in
// a winhelp-topic line right after the section's heading).
testing::AssertionResult ReadExpectedTitles(std::map<unsigned, std::string>* titles) {
    std::optional<std::string> contexts = ReadTextFile(kDocs + "/contexts.txt");
    std::optional<std::string> manual = ReadTextFile(kDocs + "/zarl.but");
    if (!contexts || !manual)
        return testing::AssertionFailure() << "cannot read the manual's source in " << kDocs;

    std::map<std::string, std::string> topicTitles;
    std::istringstream manualLines(*manual);
    std::string line;
    std::string heading;
    const std::string topicLine = "\\cfg{winhelp-topic}{";
    while (std::getline(manualLines, line)) {
        line = TrimEnd(line);
        // Section headings: \C{id} Title, \H{id} Title, \S{id} Title, ...
        if (line.size() > 3 && line[0] == '\\' && line.find("{") != std::string::npos &&
            (line[1] == 'C' || line[1] == 'H' || line[1] == 'S' || line[1] == 'A')) {
            size_t close = line.find("} ");
            if (close != std::string::npos) heading = line.substr(close + 2);
        }
        if (line.compare(0, topicLine.size(), topicLine) == 0) {
            std::string name = line.substr(topicLine.size());
            if (!name.empty() && name.back() == '}') name.pop_back();
            topicTitles[name] = heading;
        }
    }

    std::istringstream contextLines(*contexts);
    while (std::getline(contextLines, line)) {
        line = TrimEnd(line);
        if (line.empty() || line[0] == '#') continue;
        unsigned number = 0;
        char name[128] = "";
        if (std::sscanf(line.c_str(), "%u %127s", &number, name) != 2)
            return testing::AssertionFailure() << "contexts.txt: unreadable line \"" << line << '"';
        auto found = topicTitles.find(name);
        if (found == topicTitles.end() || found->second.empty())
            return testing::AssertionFailure()
                   << "topic " << name << " of context " << number << " is not in zarl.but";
        (*titles)[number] = found->second;
    }
    return testing::AssertionSuccess();
}

// The pages the engine listed when it loaded the file, by topic offset:
//   ...HLPFILE_AddPage Added page[2]: title="Section 1.1: Form" 00000189 << 000001dc >> 00000225
std::map<unsigned, std::string> LoadedPages(const std::string& trace) {
    std::map<unsigned, std::string> pages;
    std::istringstream lines(trace);
    std::string line;
    while (std::getline(lines, line)) {
        size_t at = line.find("Added page[");
        if (at == std::string::npos) continue;
        size_t open = line.find("title=\"", at);
        size_t close = line.rfind("\" ");
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        unsigned previous = 0, offset = 0, next = 0;
        if (std::sscanf(line.c_str() + close + 2, "%x << %x >> %x", &previous, &offset, &next) != 3)
            continue;
        pages[offset] = line.substr(open + 7, close - open - 7);
    }
    return pages;
}

// The page the engine showed for the HELP_CONTEXT request of `context` in the
// trace text: the request, the map lookup, and right after it the page
//   ...WINHELP_HandleCommand Got[25]: cmd=1 data=00000083 fn="ZARL.HLP"
//   ...HLPFILE_PageByMap <"Z:\\...\\ZARL.HLP">[83]
//   ...HLPFILE_PageByOffset <"Z:\\...\\ZARL.HLP">[387ff]
// (The engine looks up the neighbouring pages afterwards, for its browse
// buttons; those lookups may land in the trace after a later request's start.)
std::optional<unsigned> PageShown(const std::string& trace, unsigned context) {
    char request[32];
    std::snprintf(request, sizeof request, "cmd=1 data=%08x", context);
    std::istringstream lines(trace);
    std::string line;
    enum { Request, Map, Page } awaiting = Request;
    while (std::getline(lines, line)) {
        if (awaiting == Request) {
            if (line.find("WINHELP_HandleCommand") != std::string::npos &&
                line.find(request) != std::string::npos)
                awaiting = Map;
        } else if (awaiting == Map) {
            if (line.find("HLPFILE_PageByMap") != std::string::npos) awaiting = Page;
        } else if (line.find("HLPFILE_PageByOffset") != std::string::npos) {
            size_t open = line.rfind('[');
            unsigned offset = 0;
            if (open != std::string::npos && std::sscanf(line.c_str() + open, "[%x]", &offset) == 1)
                return offset;
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class HelpFile : public ZarlTest {
protected:
    void SetUp() override {
        ZarlTest::SetUp();
        if (HasFatalFailure()) return;
        if (HelpTracePath().empty())
            GTEST_SKIP() << "the help engine's requests can only be seen in a run through "
                            "tests/e2e/run-with-help-trace.sh (ctest does that)";
        std::string exe = ZarlExePath();
        std::string help = exe.substr(0, exe.find_last_of('\\') + 1) + "ZARL.HLP";
        ASSERT_NE(GetFileAttributesA(help.c_str()), INVALID_FILE_ATTRIBUTES)
            << "the build did not put the help file beside the program: " << help;
        ASSERT_TRUE(ReadExpectedTitles(&titles_));
        ASSERT_TRUE(CloseHelpEngine()) << "a help engine from before could not be ended";
    }

    void TearDown() override {
        // The engine outlives the program; it must not reach into later cases.
        EXPECT_TRUE(CloseHelpEngine()) << "the help engine could not be ended";
        ZarlTest::TearDown();
    }

    // F1 on a control of a dialog of the program must ask for the context and
    // make the engine show the topic the manual gives it.
    testing::AssertionResult F1OpensTopic(HWND dialog, HWND control, unsigned context) {
        if (!control) return testing::AssertionFailure() << "no such control";
        auto title = titles_.find(context);
        if (title == titles_.end())
            return testing::AssertionFailure() << "context " << context << " has no topic";
        std::uint64_t offset = HelpTraceSize();
        if (!PressF1(dialog, control)) return testing::AssertionFailure() << "F1 not delivered";
        testing::AssertionResult asked = WaitForHelpRequest(offset, HELP_CONTEXT, context);
        if (!asked) return asked;
        return ShowsTopic(offset, context, title->second);
    }

    // After `offset`, the engine shows a page whose title ends in the
    // section's own title ("Section 3.3: Delay").
    static testing::AssertionResult ShowsTopic(std::uint64_t offset, unsigned context,
                                               const std::string& title) {
        std::optional<unsigned> page;
        WaitUntil(
            [&] {
                AnswerHelpEngineBoxes();
                page = PageShown(HelpTraceSince(offset), context);
                return page.has_value();
            },
            kResultTimeout, Ms{10});
        if (!page)
            return testing::AssertionFailure() << "the engine showed no page; it got "
                                               << DescribeHelpRequests(HelpRequestsSince(offset));
        std::map<unsigned, std::string> pages = LoadedPages(HelpTraceSince(0));
        auto shown = pages.find(*page);
        if (shown == pages.end())
            return testing::AssertionFailure()
                   << "the engine showed the page at offset " << *page << ", which it never listed";
        if (!EndsWith(shown->second, ": " + title))
            return testing::AssertionFailure() << "the engine showed \"" << shown->second
                                               << "\", expected the section \"" << title << '"';
        return testing::AssertionSuccess();
    }

    std::map<unsigned, std::string> titles_;
};

TEST_F(HelpFile, EverySettingsControlOpensItsOwnTopic) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND dialog = OpenSettingsDialog(zarl_->Window(), zarl_->Pid());
    ASSERT_TRUE(dialog) << "the Settings dialog did not open";
    struct Case {
        const char* what;
        int control;
        unsigned context;
    };
    // One control per context number of the dialog.
    const Case cases[] = {
        {"Cancel", IDCANCEL, HELP_SETTINGSDEFAULT},
        {"&Operating", IDC_OPERATING, HIDC_OPERATING},
        {"Use Shift-&JIS Code", IDC_SHIFTJIS, HIDC_SHIFTJIS},
        {"&Precision list", IDC_PRECISION, HIDC_PRECISION},
        {"No Cop&y", IDC_NOCOPY, HIDC_NOCOPY},
        {"De&lay(ms) list", IDC_DELAY, HIDC_DELAY},
        {"Res&ult Window", IDC_RESULTWINDOW, HIDC_RESULTWINDOW},
        {"Immediate &Window", IDC_IMDWINDOW, HIDC_IMDWINDOW},
        {"Attach (&Z) <", IDC_ATTACH, HIDC_ATTACH},
        {"&Key list", IDC_KEY, HIDC_KEY},
        {"&RADIAN", IDC_RADIAN, HIDC_RADIAN},
        {"Write Z&ARL.INI", IDC_WRITEINI, HIDC_WRITEINI},
        {"&Name field", IDC_CONSTNAME, HIDC_CONSTNAME},
    };
    std::map<std::string, unsigned> seenTitles;
    for (const Case& c : cases) {
        EXPECT_TRUE(F1OpensTopic(dialog, GetDlgItem(dialog, c.control), c.context))
            << "F1 on " << c.what;
        // Each number has a topic of its own.
        auto [at, added] = seenTitles.emplace(titles_[c.context], c.context);
        EXPECT_TRUE(added) << "contexts " << at->second << " and " << c.context
                           << " open the same section \"" << at->first << '"';
    }
    for (HWND engine : TopLevelWindows(0, "MS_WINHELP")) WaitForPainting(engine);
    EXPECT_TRUE(TakeScreenshot("help_settings_topic"));
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
    EXPECT_TRUE(WaitForWindowGone(dialog));
}

TEST_F(HelpFile, F1InTheResultAndImmediateWindowsOpensTheirTopics) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    ASSERT_TRUE(ShowResultWindow(zarl_->Window()));
    HWND result = FindResultWindow(zarl_->Pid());
    ASSERT_TRUE(result) << "the Result window did not open";
    EXPECT_TRUE(F1OpensTopic(result, GetDlgItem(result, IDC_HISTORY), HELP_RESULTWINDOW))
        << "F1 in the Result window";
    EXPECT_TRUE(F1OpensTopic(result, GetDlgItem(result, IDC_COPY), HELP_RESULTWINDOW))
        << "F1 on the Result window's Copy";

    ASSERT_TRUE(ShowImdWindow(zarl_->Window()));
    HWND imd = FindImdWindow(zarl_->Pid());
    ASSERT_TRUE(imd) << "the Immediate window did not open";
    EXPECT_TRUE(F1OpensTopic(imd, GetDlgItem(imd, IDC_EXPRESSION), HELP_IMDWINDOW))
        << "F1 in the Immediate window";
    for (HWND engine : TopLevelWindows(0, "MS_WINHELP")) WaitForPainting(engine);
    EXPECT_TRUE(TakeScreenshot("help_immediate_topic"));
}

TEST_F(HelpFile, SystemMenuHelpOpensTheContentsAndClosingTheProgramQuitsIt) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    std::uint64_t offset = HelpTraceSize();
    ASSERT_TRUE(ChooseSystemMenu(zarl_->Window(), IDM_HELP));
    EXPECT_TRUE(WaitForHelpRequest(offset, HELP_FINDER, 0));
    EXPECT_TRUE(WaitUntil([] { return !TopLevelWindows(0, "MS_WINHELP").empty(); }, kResultTimeout))
        << "no help window after \"&Help\"";
    // The program never saw a missing file: no question box came up.
    EXPECT_TRUE(AnswerHelpEngineBoxes().empty());

    offset = HelpTraceSize();
    Zarl::Ending ending = zarl_->Close();
    EXPECT_TRUE(ending.exited);
    EXPECT_TRUE(WaitForHelpRequest(offset, HELP_QUIT, 0)) << "closing the program";
    EXPECT_TRUE(WaitUntil([] { return HelpEnginePids().empty(); }, kCloseTimeout))
        << "the help engine is still running after the program ended";
}

}  // namespace
}  // namespace e2e
