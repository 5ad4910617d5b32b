// libFuzzer target: zarl-helpmap's reading of help files, an untrusted binary
// format. The input is a help file image (as many bytes as its header's
// file size, when the input holds that many), followed by a map text.
//
// A rejected file or map text gives an error text and leaves the caller's
// objects as they were; so do bytes past the declared size. A file that
// reads is written afresh (unless a file name is too long for the 1 KB
// directory pages written, which is an error too), reads back as the same
// internal files, and writing it again gives the same bytes. Its |CONTEXT
// reads in one of the two orders, is put into signed order with the same
// topics, and a reader's search then finds every topic; its |CTXOMAP encodes
// back to itself; its dump succeeds exactly when both read. Mapping the file
// with the map text either fails with an error and no output, or gives a
// file that reads back with the map sorted by number, every mapped topic
// where |CONTEXT has it, every other internal file unchanged, and that
// mapping it again gives back byte for byte.
#include <algorithm>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"
#include "tools/helpfile.h"

namespace {

const HelpBytes Untouched = {0xDE, 0xAD};

bool SameFile(const HelpInternalFile& a, const HelpInternalFile& b) {
    return a.name == b.name && a.flags == b.flags && a.data == b.data;
}

bool SameHelp(const HelpFile& a, const HelpFile& b) {
    return a.directoryFlags == b.directoryFlags &&
           std::equal(a.files.begin(), a.files.end(), b.files.begin(), b.files.end(), SameFile);
}

HelpFile Sentinel() {
    HelpFile help;
    help.directoryFlags = 0x5A;
    help.files.push_back({"sentinel", 1, Untouched});
    return help;
}

// The context entries, ordered by hash, for comparing sets.
std::vector<std::pair<uint32_t, uint32_t>> ByHash(const std::vector<HelpContextEntry>& entries) {
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    for (const HelpContextEntry& e : entries) pairs.emplace_back(e.hash, e.topicOffset);
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

// Returns whether the |CONTEXT reads.
bool CheckContext(const HelpInternalFile& file) {
    std::vector<HelpContextEntry> entries = {{1, 2}};
    HelpContextOrder order = HelpContextOrder::Unsigned;
    std::string error;
    HelpBytes sorted = Untouched;
    if (!ReadHelpContext(file, &entries, &order, &error)) {
        FUZZ_CHECK(!error.empty(), "a rejected |CONTEXT gives an error text");
        FUZZ_CHECK(entries.size() == 1 && entries[0].hash == 1,
                   "a rejected |CONTEXT gives no entries");
        std::string sortError;
        FUZZ_CHECK(!SortHelpContext(file, &sorted, &sortError) && !sortError.empty() &&
                       sorted == Untouched,
                   "a rejected |CONTEXT is not sorted");
        return false;
    }
    FUZZ_CHECK(order == HelpContextOrder::Signed || order == HelpContextOrder::Unsigned,
               "the order is signed or unsigned");
    for (const HelpContextEntry& e : entries) {
        uint32_t offset = ~e.topicOffset;
        bool found = LookUpHelpContext(file, e.hash, &offset);
        if (order == HelpContextOrder::Signed) {
            FUZZ_CHECK(found && offset == e.topicOffset, "a signed |CONTEXT finds every topic");
        } else if (found) {
            FUZZ_CHECK(offset == e.topicOffset, "a topic found is at its offset");
        }
    }
    FUZZ_CHECK(SortHelpContext(file, &sorted, &error), "a readable |CONTEXT can be sorted");
    if (order == HelpContextOrder::Signed) {
        FUZZ_CHECK(sorted == file.data, "a signed |CONTEXT is kept as it is");
    }
    HelpInternalFile rebuilt{file.name, file.flags, sorted};
    std::vector<HelpContextEntry> back;
    HelpContextOrder backOrder;
    FUZZ_CHECK(ReadHelpContext(rebuilt, &back, &backOrder, &error), "a sorted |CONTEXT reads");
    FUZZ_CHECK(backOrder == HelpContextOrder::Signed && ByHash(back) == ByHash(entries),
               "a sorted |CONTEXT holds the same topics in signed order");
    for (const HelpContextEntry& e : back) {
        uint32_t offset = ~e.topicOffset;
        FUZZ_CHECK(LookUpHelpContext(rebuilt, e.hash, &offset) && offset == e.topicOffset,
                   "a reader finds every topic of a sorted |CONTEXT");
    }
    return true;
}

// Returns whether the |CTXOMAP reads.
bool CheckMap(const HelpInternalFile& file) {
    std::vector<HelpMapEntry> entries = {{7, 7}};
    std::string error;
    if (!ReadHelpMap(file, &entries, &error)) {
        FUZZ_CHECK(!error.empty() && entries.size() == 1 && entries[0].number == 7,
                   "a rejected |CTXOMAP gives an error text and no entries");
        return false;
    }
    FUZZ_CHECK(EncodeHelpMap(entries) == file.data, "a |CTXOMAP encodes back to itself");
    return true;
}

void CheckMapping(const HelpBytes& image, const HelpFile& help, std::string_view mapText) {
    HelpBytes out = Untouched;
    std::string error;
    if (!ApplyHelpMap(image, mapText, &out, &error)) {
        FUZZ_CHECK(!error.empty() && out == Untouched, "a refused mapping gives only an error");
        // The tool's own check of its output finding a fault is a fault.
        if (error.rfind("internal error", 0) == 0) FuzzFail(error.c_str());
        return;
    }
    std::vector<HelpMapLine> lines;
    FUZZ_CHECK(ParseHelpMapText(mapText, &lines, &error), "a mapping's map text reads");
    HelpFile mapped;
    FUZZ_CHECK(ReadHelpFile(out, &mapped, &error), "a mapped file reads");
    for (const HelpInternalFile& file : help.files) {
        const HelpInternalFile* after = FindHelpFile(mapped, file.name);
        FUZZ_CHECK(after != nullptr, "mapping keeps every internal file");
        if (file.name != HelpContextFileName && file.name != HelpMapFileName) {
            FUZZ_CHECK(SameFile(file, *after),
                       "mapping keeps the other internal files as they are");
        }
    }
    const HelpInternalFile* mapFile = FindHelpFile(mapped, HelpMapFileName);
    std::vector<HelpMapEntry> map;
    FUZZ_CHECK(mapFile && ReadHelpMap(*mapFile, &map, &error) && map.size() == lines.size(),
               "the map holds a line for every mapped number");
    for (size_t i = 1; i < map.size(); i++) {
        FUZZ_CHECK(map[i - 1].number < map[i].number, "the map is sorted by number");
    }
    const HelpInternalFile* context = FindHelpFile(mapped, HelpContextFileName);
    for (const HelpMapLine& line : lines) {
        uint32_t offset = 0;
        FUZZ_CHECK(context && LookUpHelpContext(*context, HelpTopicHash(line.topic), &offset),
                   "a reader finds every mapped topic");
        auto entry = std::find_if(map.begin(), map.end(), [&line](const HelpMapEntry& e) {
            return e.number == line.number;
        });
        FUZZ_CHECK(entry != map.end() && entry->topicOffset == offset,
                   "a number maps to its topic's offset");
    }
    HelpBytes again;
    FUZZ_CHECK(ApplyHelpMap(out, mapText, &again, &error) && again == out,
               "mapping a mapped file again gives it back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The image is as long as its header says, when the input holds that
    // much; what follows is the map text.
    size_t imageSize = size;
    if (size >= HelpFileHeaderSize) {
        uint32_t declared = uint32_t(data[12]) | uint32_t(data[13]) << 8 |
                            uint32_t(data[14]) << 16 | uint32_t(data[15]) << 24;
        if (declared <= size) imageSize = declared;
    }
    const HelpBytes image(data, data + imageSize);
    if (imageSize < size) {
        // The whole input: bytes past the size the header gives.
        HelpFile whole = Sentinel();
        std::string wholeError;
        FUZZ_CHECK(!ReadHelpFile(HelpBytes(data, data + size), &whole, &wholeError) &&
                       !wholeError.empty() && SameHelp(whole, Sentinel()),
                   "bytes past the declared size are refused");
    }
    const std::string_view mapText(reinterpret_cast<const char*>(data) + imageSize,
                                   size - imageSize);

    std::vector<HelpMapLine> lines = {{1, "x", 1}};
    std::string error;
    if (!ParseHelpMapText(mapText, &lines, &error)) {
        FUZZ_CHECK(!error.empty() && lines.size() == 1 && lines[0].topic == "x",
                   "a refused map text gives an error text and no lines");
    } else {
        FUZZ_CHECK(lines.size() <= HelpMapMaxEntries, "a map holds at most 65535 lines");
        for (size_t i = 0; i < lines.size(); i++) {
            const std::string& topic = lines[i].topic;
            FUZZ_CHECK(
                !topic.empty() &&
                    std::none_of(topic.begin(), topic.end(),
                                 [](char c) { return (unsigned char)c <= ' ' || c == 0x7F; }),
                "a topic name is not empty and holds no blank or control character");
            FUZZ_CHECK(i == 0 || lines[i - 1].line < lines[i].line, "lines come in their order");
            for (size_t k = 0; k < i; k++) {
                FUZZ_CHECK(lines[k].number != lines[i].number, "a number is mapped once");
            }
        }
    }

    HelpFile help = Sentinel();
    error.clear();
    if (!ReadHelpFile(image, &help, &error)) {
        FUZZ_CHECK(!error.empty(), "a rejected help file gives an error text");
        FUZZ_CHECK(SameHelp(help, Sentinel()), "a rejected help file leaves no partial state");
        HelpBytes out = Untouched;
        std::string mapError;
        FUZZ_CHECK(
            !ApplyHelpMap(image, mapText, &out, &mapError) && !mapError.empty() && out == Untouched,
            "a rejected help file is not mapped");
        return 0;
    }

    // Written afresh, the file reads back as the same internal files, and
    // writing that again gives the same bytes.
    // A file name too long for the directory's 1 KB pages cannot be
    // written again, and the mapping must then fail with that error.
    HelpBytes written;
    if (!WriteHelpFile(help, &written, &error)) {
        FUZZ_CHECK(!error.empty(), "a file that cannot be written gives an error text");
        HelpBytes out = Untouched;
        FUZZ_CHECK(!ApplyHelpMap(image, mapText, &out, &error) && out == Untouched,
                   "a file that cannot be written is not mapped");
        return 0;
    }
    HelpFile back;
    FUZZ_CHECK(ReadHelpFile(written, &back, &error) && SameHelp(back, help),
               "a written file reads back as the same internal files");
    HelpBytes again;
    FUZZ_CHECK(WriteHelpFile(back, &again, &error) && again == written,
               "writing a written file again gives the same bytes");

    bool readable = true;
    if (const HelpInternalFile* context = FindHelpFile(help, HelpContextFileName)) {
        readable = CheckContext(*context);
    }
    if (const HelpInternalFile* map = FindHelpFile(help, HelpMapFileName)) {
        readable = CheckMap(*map) && readable;
    }
    std::string dump;
    std::string dumpError;
    bool dumped = DumpHelpFile(image, &dump, &dumpError);
    FUZZ_CHECK(dumped == readable && dumped == dumpError.empty(),
               "a dump succeeds exactly when |CONTEXT and |CTXOMAP read");
    CheckMapping(image, help, mapText);
    return 0;
}
