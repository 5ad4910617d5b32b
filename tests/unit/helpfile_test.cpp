// The WinHelp file logic of zarl-helpmap on help file images built in memory.
// The images come from a small writer of this test's own, which lays files out
// differently from the tool (files in reverse name order, spare reserved
// space, small B-tree pages, leaves not filled), and the tool's output is
// checked byte by byte with this test's own little-endian reads and with this
// test's own copy of a help viewer's |CONTEXT search. Covered: the topic-name
// hash, the map text, reading (every kind of malformed file is refused with a
// message, never read out of bounds; |CONTEXT in signed or unsigned order),
// the rewrite with its new |CTXOMAP and |CONTEXT in signed order (one leaf
// and several levels), the multi-level directory the writer makes for many
// files, and --dump's text.
#include "tools/helpfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---- This test's own little-endian access and image writer

std::uint16_t At16(const HelpBytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

std::uint32_t At32(const HelpBytes& b, std::size_t at) {
    return At16(b, at) | (static_cast<std::uint32_t>(At16(b, at + 2)) << 16);
}

void Add16(HelpBytes* b, std::uint32_t v) {
    b->push_back(static_cast<std::uint8_t>(v));
    b->push_back(static_cast<std::uint8_t>(v >> 8));
}

void Add32(HelpBytes* b, std::uint32_t v) {
    Add16(b, v & 0xFFFF);
    Add16(b, v >> 16);
}

void Put16At(HelpBytes* b, std::size_t at, std::uint32_t v) {
    b->at(at) = static_cast<std::uint8_t>(v);
    b->at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

void Put32At(HelpBytes* b, std::size_t at, std::uint32_t v) {
    Put16At(b, at, v & 0xFFFF);
    Put16At(b, at + 2, v >> 16);
}

HelpBytes Text(const std::string& s) {
    return HelpBytes(s.begin(), s.end());
}

// A B-tree header; pages follow it. Page splits are counted as Halibut does:
// every page but the first of its level.
HelpBytes TreeHeader(std::uint16_t flags, std::uint16_t pageSize, const char* format,
                     std::uint16_t root, std::uint16_t pages, std::uint16_t levels,
                     std::uint32_t entries) {
    HelpBytes b;
    Add16(&b, 0x293B);
    Add16(&b, flags);
    Add16(&b, pageSize);
    std::string f(format);
    f.resize(16, '\0');
    b.insert(b.end(), f.begin(), f.end());
    Add16(&b, 0);
    Add16(&b, pages >= levels ? pages - levels : 0);
    Add16(&b, root);
    Add16(&b, 0xFFFF);
    Add16(&b, pages);
    Add16(&b, levels);
    Add32(&b, entries);
    return b;
}

// Pads a page to its size, putting the free byte count into its first field.
void FinishPage(HelpBytes* page, std::uint16_t pageSize) {
    EXPECT_LE(page->size(), pageSize) << "the test's own page overflows";
    Put16At(page, 0, static_cast<std::uint32_t>(pageSize - page->size()));
    page->resize(pageSize, 0);
}

using Pair = std::pair<std::uint32_t, std::uint32_t>;

// The most |CONTEXT entries a leaf page holds (8 bytes each after an 8-byte
// header), and the most children of an index page (the first, then 6 bytes
// each after a 6-byte header).
std::size_t FullLeaf(std::uint16_t pageSize) {
    return (pageSize - 8u) / 8u;
}

std::size_t FullIndex(std::uint16_t pageSize) {
    return 1 + (pageSize - 6u) / 6u;
}

// A |CONTEXT tree of (hash, offset) pairs in the given order: leaves of
// `perLeaf` entries, then levels of index pages of `perIndex` children (0:
// as many as fit) until one page, the root, remains. With full pages this
// is how Halibut lays the tree out.
HelpBytes ContextTree(const std::vector<Pair>& entries, std::uint16_t pageSize, std::size_t perLeaf,
                      std::size_t perIndex = 0, std::uint16_t flags = 0x0002) {
    if (perIndex == 0) perIndex = FullIndex(pageSize);
    std::vector<HelpBytes> pages;
    std::vector<std::uint32_t> firstKeys;  // the first hash under each page
    const std::size_t leaves = (entries.size() + perLeaf - 1) / perLeaf;
    for (std::size_t leaf = 0; leaf < leaves; leaf++) {
        HelpBytes page;
        const std::size_t first = leaf * perLeaf;
        const std::size_t count = std::min(perLeaf, entries.size() - first);
        Add16(&page, 0);
        Add16(&page, static_cast<std::uint32_t>(count));
        Add16(&page, leaf == 0 ? 0xFFFF : static_cast<std::uint32_t>(leaf - 1));
        Add16(&page, leaf + 1 == leaves ? 0xFFFF : static_cast<std::uint32_t>(leaf + 1));
        for (std::size_t i = first; i < first + count; i++) {
            Add32(&page, entries[i].first);
            Add32(&page, entries[i].second);
        }
        FinishPage(&page, pageSize);
        pages.push_back(page);
        firstKeys.push_back(entries[first].first);
    }
    std::size_t levels = 1, levelFirst = 0, levelCount = leaves;
    while (levelCount > 1) {
        levels++;
        const std::size_t nextFirst = pages.size();
        for (std::size_t child = levelFirst; child < levelFirst + levelCount; child += perIndex) {
            const std::size_t children = std::min(perIndex, levelFirst + levelCount - child);
            HelpBytes page;
            Add16(&page, 0);
            Add16(&page, static_cast<std::uint32_t>(children - 1));
            Add16(&page, static_cast<std::uint32_t>(child));
            for (std::size_t k = 1; k < children; k++) {
                Add32(&page, firstKeys[child + k]);
                Add16(&page, static_cast<std::uint32_t>(child + k));
            }
            FinishPage(&page, pageSize);
            pages.push_back(page);
            firstKeys.push_back(firstKeys[child]);
        }
        levelFirst = nextFirst;
        levelCount = pages.size() - nextFirst;
    }
    const std::uint16_t count = static_cast<std::uint16_t>(pages.size());
    HelpBytes tree =
        TreeHeader(flags, pageSize, "L4", static_cast<std::uint16_t>(count - 1), count,
                   static_cast<std::uint16_t>(levels), static_cast<std::uint32_t>(entries.size()));
    for (const HelpBytes& page : pages) tree.insert(tree.end(), page.begin(), page.end());
    return tree;
}

// A hash as the signed 32-bit number help viewers take it for.
std::int64_t AsSigned(std::uint32_t hash) {
    return hash < 0x80000000u ? static_cast<std::int64_t>(hash)
                              : static_cast<std::int64_t>(hash) - 0x100000000LL;
}

// The search of a help viewer (Wine's winhlp32, HLPFILE_BPTreeSearch with
// comp_PageByHash) in a |CONTEXT tree, from its header on: down from the root
// to the child after the last index key not above the hash sought, then
// along that leaf until a key above it, comparing as signed numbers. The
// offset of the topic, or -1 when the viewer would say "not found".
std::int64_t ViewerFinds(const HelpBytes& tree, std::uint32_t hash) {
    if (At16(tree, 30) == 0) return -1;  // no page, no topic
    const std::size_t pageSize = At16(tree, 4);
    std::size_t page = At16(tree, 26);
    for (int level = At16(tree, 32); level > 1; level--) {
        const std::size_t p = 38 + page * pageSize;
        std::size_t child = At16(tree, p + 4);
        for (int i = 0; i < static_cast<std::int16_t>(At16(tree, p + 2)); i++) {
            if (AsSigned(At32(tree, p + 6 + 6 * i)) > AsSigned(hash)) break;
            child = At16(tree, p + 6 + 6 * i + 4);
        }
        page = child;
    }
    const std::size_t p = 38 + page * pageSize;
    for (int i = 0; i < static_cast<std::int16_t>(At16(tree, p + 2)); i++) {
        const std::uint32_t key = At32(tree, p + 8 + 8 * i);
        if (key == hash) return At32(tree, p + 8 + 8 * i + 4);
        if (AsSigned(key) > AsSigned(hash)) return -1;
    }
    return -1;
}

// Pairs sorted by hash as signed or as unsigned numbers.
std::vector<Pair> SignedOrder(std::vector<Pair> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const Pair& a, const Pair& b) { return AsSigned(a.first) < AsSigned(b.first); });
    return entries;
}

std::vector<Pair> UnsignedOrder(std::vector<Pair> entries) {
    std::sort(entries.begin(), entries.end());
    return entries;
}

// `count` distinct hashes, every other one with the top bit set, with
// made-up topic offsets.
std::vector<Pair> ManyPairs(std::size_t count) {
    std::vector<Pair> entries;
    for (std::uint32_t i = 0; i < count; i++) {
        const std::uint32_t hash = (i % 2 == 0 ? 0x00100000u : 0xC0100000u) + i * 0x1234u;
        entries.push_back({hash, 0x10000u + i * 0x40u});
    }
    return entries;
}

struct Part {
    std::string name;
    HelpBytes data;
    std::uint8_t flags;
    std::uint32_t slack;  // reserved bytes past the content
};

struct Image {
    HelpBytes bytes;
    std::map<std::string, std::uint32_t> offsets;  // of each file's header
    std::uint32_t directory;                       // of the directory's header
};

// Header, the parts in reverse order of the list, then a one-leaf directory
// (1 KB page) naming them in the order of the list, which callers give sorted.
Image BuildImage(const std::vector<Part>& parts) {
    Image image;
    HelpBytes& b = image.bytes;
    b.resize(16, 0);
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        image.offsets[part->name] = static_cast<std::uint32_t>(b.size());
        Add32(&b, static_cast<std::uint32_t>(part->data.size() + 9 + part->slack));
        Add32(&b, static_cast<std::uint32_t>(part->data.size()));
        b.push_back(part->flags);
        b.insert(b.end(), part->data.begin(), part->data.end());
        b.resize(b.size() + part->slack, 0xEE);
    }
    HelpBytes page;
    Add16(&page, 0);
    Add16(&page, static_cast<std::uint32_t>(parts.size()));
    Add16(&page, 0xFFFF);
    Add16(&page, 0xFFFF);
    for (const Part& part : parts) {
        page.insert(page.end(), part.name.begin(), part.name.end());
        page.push_back(0);
        Add32(&page, image.offsets[part.name]);
    }
    FinishPage(&page, 0x400);
    HelpBytes tree =
        TreeHeader(0x0402, 0x400, "z4", 0, 1, 1, static_cast<std::uint32_t>(parts.size()));
    tree.insert(tree.end(), page.begin(), page.end());
    image.directory = static_cast<std::uint32_t>(b.size());
    Add32(&b, static_cast<std::uint32_t>(tree.size() + 9));
    Add32(&b, static_cast<std::uint32_t>(tree.size()));
    b.push_back(4);
    b.insert(b.end(), tree.begin(), tree.end());
    Put32At(&b, 0, 0x00035F3F);
    Put32At(&b, 4, image.directory);
    Put32At(&b, 8, 0xFFFFFFFF);
    Put32At(&b, 12, static_cast<std::uint32_t>(b.size()));
    return image;
}

// Topic names of the synthetic help file and their hashes, worked out by hand
// from the table: "Alpha" = ((((17*43+28)*43+32)*43+24)*43+17), and so on.
constexpr std::uint32_t AlphaHash = 0x0399B90E;  // letters a=17 l=28 p=32 h=24 a=17
constexpr std::uint32_t BetaHash = 0x00167420;   // b=18 e=21 t=36 a=17
constexpr std::uint32_t GammaHash = 0x04C54C0F;  // g=23 a=17 m=29 m=29 a=17
// Two names whose hashes have the top bit set, read from Halibut's files.
constexpr std::uint32_t SettingsHexHash = 0xE0A9DBED;  // "settings_hex"
constexpr std::uint32_t LongNameHash = 0x84E228F5;     // the sample's long name
constexpr std::uint32_t AlphaTopic = 0x00000000;
constexpr std::uint32_t BetaTopic = 0x0000005D;
constexpr std::uint32_t GammaTopic = 0x00008010;
constexpr std::uint32_t SettingsHexTopic = 0x0000C0DE;
constexpr std::uint32_t LongNameTopic = 0x00010203;

// A small help file as Halibut makes one, with an empty |CTXOMAP, but laid
// out in this test's own way. |CONTEXT has one leaf page.
std::vector<Part> SmallParts() {
    return {
        {"|CONTEXT",
         ContextTree({{BetaHash, BetaTopic}, {AlphaHash, AlphaTopic}, {GammaHash, GammaTopic}},
                     0x800, 255),
         0, 0},
        {"|CTXOMAP", {0, 0}, 0, 0},
        {"|FONT", Text("font table bytes"), 0, 3},
        {"|SYSTEM", Text("system \x01\x02\xFF"), 4, 0},
        {"|TOPIC", Text(std::string(300, 'T') + std::string(5, '\0') + "end"), 0, 17},
    };
}

// The same with two more topics whose hashes have the top bit set, in the
// unsigned order Halibut writes on a 64-bit host: a viewer finds neither.
const std::vector<Pair> HighPairs = {
    {BetaHash, BetaTopic},
    {AlphaHash, AlphaTopic},
    {GammaHash, GammaTopic},
    {LongNameHash, LongNameTopic},
    {SettingsHexHash, SettingsHexTopic},
};

std::vector<Part> HighParts() {
    std::vector<Part> parts = SmallParts();
    parts[0].data = ContextTree(HighPairs, 0x800, 255);
    return parts;
}

// The same with a |CONTEXT of three 32-byte leaves (three entries each) under
// an index page, and no |CTXOMAP.
std::vector<Part> TreeParts() {
    std::vector<Pair> entries;
    for (std::uint32_t i = 0; i < 8; i++) entries.push_back({0x1000 + i, 0x100 * i});
    entries.push_back({AlphaHash, AlphaTopic + 0x8000});
    return {
        {"|CONTEXT", ContextTree(entries, 32, 3), 4, 0},
        {"|SYSTEM", Text("sys"), 4, 0},
        {"|TOPIC", Text("topic"), 4, 0},
    };
}

// The content and flags of a file in an image, read with this test's own
// code from a directory of one leaf page.
struct Found {
    bool present = false;
    std::uint8_t flags = 0;
    HelpBytes data;
};

Found FindInImage(const HelpBytes& image, const std::string& name) {
    Found found;
    const std::uint32_t dir = At32(image, 4);
    const std::size_t tree = dir + 9;
    EXPECT_EQ(At16(image, tree + 32), 1) << "test reader handles one-level directories";
    const std::size_t page = tree + 38;
    std::size_t pos = page + 8;
    for (int i = 0; i < At16(image, page + 2); i++) {
        std::string key;
        while (image.at(pos) != 0) key += static_cast<char>(image.at(pos++));
        pos++;
        const std::uint32_t offset = At32(image, pos);
        pos += 4;
        if (key == name) {
            found.present = true;
            found.flags = image.at(offset + 8);
            const std::uint32_t used = At32(image, offset + 4);
            found.data.assign(image.begin() + offset + 9, image.begin() + offset + 9 + used);
        }
    }
    return found;
}

std::string Hex(const HelpBytes& b) {
    std::string s;
    char two[4];
    for (std::uint8_t c : b) {
        std::snprintf(two, sizeof two, "%02X ", c);
        s += two;
    }
    return s;
}

// ---- The topic-name hash

TEST(HelpTopicHash, MatchesHalibutAndTheTableByHand) {
    const struct {
        const char* name;
        std::uint32_t hash;
    } cases[] = {
        {"", 1},  // documented: the empty name hashes to 1, not 0
        // Read from the |CONTEXT files Halibut wrote for these names.
        {"Top", 0x00010959},
        {"intro", 0x053D9A5C},
        {"options_hex", 0x74B9A9C8},
        {"result.window", 0x75960BF7},
        {"settings", 0x3D265A1F},
        {"settings_hex", 0xE0A9DBED},
        {"imd2", 0x001F292E},
        {"a_rather_long_topic_name.with.dots.and_digits_0123456789", 0x84E228F5},
        // Letters count the same in either case.
        {"top", 0x00010959},
        {"TOP", 0x00010959},
        // By hand: "0" counts 10, ":" too; a blank counts -16; bytes with
        // negative values wrap below zero.
        {"0", 10},
        {":", 10},
        {"9", 9},
        {"a b", 0x0000782B},   // (17*43 - 16)*43 + 18
        {"\x01", 0xFFFFFFD1},  // -47
        {"\xFF", 0xFFFFFFCF},  // -49
        {"\x80", 0x50},
        {"\xB4", 0x0B},
        {"Alpha", AlphaHash},
        {"beta", BetaHash},
        {"GAMMA", GammaHash},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HelpTopicHash(c.name), c.hash) << "name \"" << c.name << "\"";
    }
}

// ---- The map text

TEST(HelpMapText, ReadsNumbersAndNames) {
    std::vector<HelpMapLine> lines;
    std::string error;
    ASSERT_TRUE(
        ParseHelpMapText("# comment\n"
                         "\n"
                         "1 Top\n"
                         "  111\tsettings_hex  \r\n"
                         "   # indented comment\n"
                         "\t \n"
                         "4294967295 x.y\n"
                         "0007 seven",  // no final line end
                         &lines, &error))
        << error;
    ASSERT_EQ(lines.size(), 4u);
    const struct {
        std::uint32_t number;
        const char* topic;
        int line;
    } expected[] = {
        {1, "Top", 3}, {111, "settings_hex", 4}, {4294967295u, "x.y", 7}, {7, "seven", 8}};
    for (std::size_t i = 0; i < lines.size(); i++) {
        EXPECT_EQ(lines[i].number, expected[i].number);
        EXPECT_EQ(lines[i].topic, expected[i].topic);
        EXPECT_EQ(lines[i].line, expected[i].line);
    }
}

TEST(HelpMapText, EmptyTextIsAnEmptyMap) {
    std::vector<HelpMapLine> lines{{1, "x", 1}};
    std::string error;
    EXPECT_TRUE(ParseHelpMapText("", &lines, &error));
    EXPECT_TRUE(lines.empty());
}

TEST(HelpMapText, RefusesUnreadableLines) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"12\n", "map line 1"},
        {"12 \n", "map line 1"},
        {"x foo\n", "map line 1"},
        {"-1 foo\n", "map line 1"},
        {"+1 foo\n", "map line 1"},
        {"12x foo\n", "map line 1"},
        {"0x10 foo\n", "map line 1"},
        {"1 foo bar\n", "map line 1"},
        {"1 ok\n2 foo # trailing comment\n", "map line 2"},
        {"4294967296 foo\n", "larger than 4294967295"},
        {"99999999999999999999999 foo\n", "larger than 4294967295"},
        {"1 fo\x01o\n", "control character"},
        {"1 a\n2 b\n1 c\n", "map line 3: number 1 is already mapped on line 1"},
        {"0111 a\n111 b\n", "map line 2: number 111 is already mapped on line 1"},
    };
    for (const auto& c : cases) {
        std::vector<HelpMapLine> lines;
        std::string error;
        EXPECT_FALSE(ParseHelpMapText(c.text, &lines, &error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos)
            << "text \"" << c.text << "\" gave \"" << error << "\"";
    }
}

TEST(HelpMapText, AtMost65535Entries) {
    std::string text;
    for (int i = 0; i < 65535; i++) text += std::to_string(i) + " t\n";
    std::vector<HelpMapLine> lines;
    std::string error;
    EXPECT_TRUE(ParseHelpMapText(text, &lines, &error)) << error;
    EXPECT_EQ(lines.size(), 65535u);
    text += "65535 t\n";
    EXPECT_FALSE(ParseHelpMapText(text, &lines, &error));
    EXPECT_NE(error.find("at most 65535"), std::string::npos) << error;
}

// ---- Reading

TEST(ReadHelpFile, ReadsEveryFileWithItsFlagsAndContent) {
    const std::vector<Part> parts = SmallParts();
    const Image image = BuildImage(parts);
    HelpFile help;
    std::string error;
    ASSERT_TRUE(ReadHelpFile(image.bytes, &help, &error)) << error;
    EXPECT_EQ(help.directoryFlags, 4);
    ASSERT_EQ(help.files.size(), parts.size());
    for (std::size_t i = 0; i < parts.size(); i++) {
        EXPECT_EQ(help.files[i].name, parts[i].name);
        EXPECT_EQ(help.files[i].flags, parts[i].flags) << parts[i].name;
        EXPECT_EQ(help.files[i].data, parts[i].data) << parts[i].name;
    }

    std::vector<HelpContextEntry> context;
    HelpContextOrder order;
    ASSERT_TRUE(ReadHelpContext(*FindHelpFile(help, "|CONTEXT"), &context, &order, &error))
        << error;
    EXPECT_EQ(order, HelpContextOrder::Signed);
    ASSERT_EQ(context.size(), 3u);
    const Pair expected[] = {
        {BetaHash, BetaTopic}, {AlphaHash, AlphaTopic}, {GammaHash, GammaTopic}};
    for (std::size_t i = 0; i < context.size(); i++) {
        EXPECT_EQ(context[i].hash, expected[i].first) << i;
        EXPECT_EQ(context[i].topicOffset, expected[i].second) << i;
    }
}

TEST(ReadHelpFile, ReadsAContextTreeOfSeveralLevels) {
    HelpFile help;
    std::string error;
    ASSERT_TRUE(ReadHelpFile(BuildImage(TreeParts()).bytes, &help, &error)) << error;
    std::vector<HelpContextEntry> context;
    HelpContextOrder order;
    ASSERT_TRUE(ReadHelpContext(*FindHelpFile(help, "|CONTEXT"), &context, &order, &error))
        << error;
    ASSERT_EQ(context.size(), 9u);
    for (std::uint32_t i = 0; i < 8; i++) {
        EXPECT_EQ(context[i].hash, 0x1000 + i);
        EXPECT_EQ(context[i].topicOffset, 0x100 * i);
    }
    EXPECT_EQ(context[8].hash, AlphaHash);
}

// Either order is read, as Halibut writes either, in one leaf or several
// levels; the order is told, and hashes in neither order are refused.
TEST(ReadHelpContext, ReadsSignedAndUnsignedOrderAndTellsWhich) {
    enum Expect { Signed, Unsigned, Refused };
    const struct {
        const char* what;
        std::vector<Pair> entries;  // in stored order
        std::uint16_t pageSize;
        std::size_t perLeaf;
        Expect expect;
    } cases[] = {
        {"no topic", {}, 0x800, 255, Signed},
        {"top bits clear", {{BetaHash, 1}, {AlphaHash, 2}, {GammaHash, 3}}, 0x800, 255, Signed},
        {"top bits set", {{LongNameHash, 1}, {SettingsHexHash, 2}}, 0x800, 255, Signed},
        {"Halibut on a 64-bit host", HighPairs, 0x800, 255, Unsigned},
        {"Halibut on a 32-bit host", SignedOrder(HighPairs), 0x800, 255, Signed},
        {"extremes, signed",
         {{0x80000000u, 1}, {0xFFFFFFFFu, 2}, {0, 3}, {0x7FFFFFFFu, 4}},
         0x800,
         255,
         Signed},
        {"extremes, unsigned",
         {{0, 1}, {0x7FFFFFFFu, 2}, {0x80000000u, 3}, {0xFFFFFFFFu, 4}},
         0x800,
         255,
         Unsigned},
        {"several levels, signed", SignedOrder(ManyPairs(60)), 32, 2, Signed},
        {"several levels, unsigned", UnsignedOrder(ManyPairs(60)), 32, 2, Unsigned},
        {"two low hashes swapped", {{AlphaHash, 1}, {BetaHash, 2}}, 0x800, 255, Refused},
        {"two high hashes swapped", {{SettingsHexHash, 1}, {LongNameHash, 2}}, 0x800, 255, Refused},
        {"high, low, high",
         {{LongNameHash, 1}, {BetaHash, 2}, {SettingsHexHash, 3}},
         0x800,
         255,
         Refused},
    };
    for (const auto& c : cases) {
        HelpInternalFile file{"|CONTEXT", 0, ContextTree(c.entries, c.pageSize, c.perLeaf)};
        std::vector<HelpContextEntry> context;
        HelpContextOrder order;
        std::string error;
        const bool ok = ReadHelpContext(file, &context, &order, &error);
        if (c.expect == Refused) {
            EXPECT_FALSE(ok) << c.what;
            EXPECT_NE(error.find("neither signed nor unsigned order"), std::string::npos)
                << c.what << ": " << error;
            continue;
        }
        ASSERT_TRUE(ok) << c.what << ": " << error;
        EXPECT_EQ(order, c.expect == Signed ? HelpContextOrder::Signed : HelpContextOrder::Unsigned)
            << c.what;
        ASSERT_EQ(context.size(), c.entries.size()) << c.what;
        for (std::size_t i = 0; i < context.size(); i++) {
            EXPECT_EQ(context[i].hash, c.entries[i].first) << c.what << " " << i;
            EXPECT_EQ(context[i].topicOffset, c.entries[i].second) << c.what << " " << i;
        }
    }
}

// One malformed image per row: what is broken, how, and what the message
// must say. Offsets come from this test's writer.
struct Breakage {
    const char* what;
    std::function<void(Image*)> breakIt;
    const char* message;
};

void ExpectRefused(const std::vector<Part>& parts, const std::vector<Breakage>& cases) {
    for (const Breakage& c : cases) {
        Image image = BuildImage(parts);
        c.breakIt(&image);
        std::string error, text;
        HelpBytes out;
        EXPECT_FALSE(ApplyHelpMap(image.bytes, "", &out, &error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos)
            << c.what << ": \"" << error << "\" lacks \"" << c.message << "\"";
        EXPECT_TRUE(out.empty()) << c.what;
        // --dump reads the same parts and refuses the same files.
        EXPECT_FALSE(DumpHelpFile(image.bytes, &text, &error)) << c.what;
    }
}

TEST(ReadHelpFile, RefusesBrokenHeadersAndDirectories) {
    // Directory: header at image.directory, B-tree at +9, its leaf at +47.
    const std::vector<Breakage> cases = {
        {"empty", [](Image* i) { i->bytes.clear(); }, "truncated"},
        {"15 bytes", [](Image* i) { i->bytes.resize(15); }, "truncated"},
        {"one byte short", [](Image* i) { i->bytes.pop_back(); }, "truncated"},
        {"one byte more", [](Image* i) { i->bytes.push_back(0); }, "past the size"},
        {"bad magic", [](Image* i) { i->bytes[0] = 0x3E; }, "bad magic"},
        {"magic of another format", [](Image* i) { Put32At(&i->bytes, 0, 0x00035F3E); },
         "bad magic"},
        {"directory past the end",
         [](Image* i) { Put32At(&i->bytes, 4, static_cast<std::uint32_t>(i->bytes.size())); },
         "directory at"},
        {"directory inside the header", [](Image* i) { Put32At(&i->bytes, 4, 8); },
         "directory at 0x00000008 lies outside"},
        {"directory used space above its reserved space",
         [](Image* i) { Put32At(&i->bytes, i->directory + 4, At32(i->bytes, i->directory)); },
         "do not fit"},
        {"directory reserved space past the end",
         [](Image* i) { Put32At(&i->bytes, i->directory, At32(i->bytes, i->directory) + 1); },
         "run past the end"},
        {"free list outside the file",
         [](Image* i) { Put32At(&i->bytes, 8, static_cast<std::uint32_t>(i->bytes.size())); },
         "free list"},
        {"B-tree magic", [](Image* i) { Put16At(&i->bytes, i->directory + 9, 0x293C); },
         "bad B-tree magic"},
        {"B-tree pages past its file",
         [](Image* i) { Put16At(&i->bytes, i->directory + 9 + 30, 2); }, "need"},
        {"B-tree page size 8", [](Image* i) { Put16At(&i->bytes, i->directory + 9 + 4, 8); },
         "page size"},
        {"root page out of range", [](Image* i) { Put16At(&i->bytes, i->directory + 9 + 26, 1); },
         "root page 1 out of range"},
        {"no levels", [](Image* i) { Put16At(&i->bytes, i->directory + 9 + 32, 0); },
         "level count"},
        {"more levels than pages", [](Image* i) { Put16At(&i->bytes, i->directory + 9 + 32, 2); },
         "level count"},
        {"entry total off by one", [](Image* i) { Put32At(&i->bytes, i->directory + 9 + 34, 4); },
         "counts 4 entries, its leaves hold 5"},
        {"leaf free count wrong",
         [](Image* i) {
             Put16At(&i->bytes, i->directory + 47, At16(i->bytes, i->directory + 47) - 1);
         },
         "bytes free"},
        {"leaf entry count one low", [](Image* i) { Put16At(&i->bytes, i->directory + 47 + 2, 4); },
         "bytes free"},
        {"leaf entry count negative",
         [](Image* i) { Put16At(&i->bytes, i->directory + 47 + 2, 0x8000); },
         "negative entry count"},
        {"leaf entry count past the page",
         [](Image* i) { Put16At(&i->bytes, i->directory + 47 + 2, 200); }, "past page end"},
        {"leaf next link", [](Image* i) { Put16At(&i->bytes, i->directory + 47 + 6, 0); },
         "leaf links"},
        {"leaf previous link", [](Image* i) { Put16At(&i->bytes, i->directory + 47 + 4, 3); },
         "leaf links"},
        {"names out of order",  // "|FONT" becomes "|AONT", before "|CONTEXT"
         [](Image* i) {
             const std::size_t leaf = i->directory + 47;
             const std::size_t font = leaf + 8 + 13 + 13 + 1;  // |CONTEXT, |CTXOMAP, '|'
             ASSERT_EQ(i->bytes[font], 'F');
             i->bytes[font] = 'A';
         },
         "out of order"},
        {"a file past the end",
         [](Image* i) {
             Put32At(&i->bytes, i->directory + 47 + 8 + 9,
                     static_cast<std::uint32_t>(i->bytes.size() - 4));
         },
         "internal file |CONTEXT at"},
        {"a file inside the header",
         [](Image* i) { Put32At(&i->bytes, i->directory + 47 + 8 + 9, 0); },
         "lies outside the file"},
        {"two names, one file",
         [](Image* i) { Put32At(&i->bytes, i->directory + 47 + 8 + 9, i->offsets["|CTXOMAP"]); },
         "overlaps"},
        {"a file's reserved space over the next one",
         [](Image* i) {
             const std::uint32_t at = i->offsets["|TOPIC"];
             Put32At(&i->bytes, at, At32(i->bytes, at) + 40);
         },
         "overlaps"},
        {"a file's used space above its reserved space",
         [](Image* i) {
             const std::uint32_t at = i->offsets["|FONT"];
             Put32At(&i->bytes, at + 4, At32(i->bytes, at + 4) + 4);
         },
         "internal file |FONT at"},
    };
    ExpectRefused(SmallParts(), cases);
}

TEST(ReadHelpFile, RefusesBrokenContextTrees) {
    // The |CONTEXT of TreeParts: B-tree at its header + 9, 32-byte pages
    // 0 to 2 (leaves) and 3 (root index page) after 38 bytes.
    auto page = [](const Image& i, int n) {
        return static_cast<std::size_t>(i.offsets.at("|CONTEXT") + 9 + 38 + 32 * n);
    };
    const std::vector<Breakage> cases = {
        {"index child out of range", [&](Image* i) { Put16At(&i->bytes, page(*i, 3) + 4, 7); },
         "refers to page 7"},
        {"index child is the index page",
         [&](Image* i) { Put16At(&i->bytes, page(*i, 3) + 6 + 4, 3); }, "reached twice"},
        {"two index entries to one leaf",
         [&](Image* i) { Put16At(&i->bytes, page(*i, 3) + 6 + 6 + 4, 1); }, "reached twice"},
        {"leaves swapped in the index",
         [&](Image* i) {
             Put16At(&i->bytes, page(*i, 3) + 4, 1);
             Put16At(&i->bytes, page(*i, 3) + 6 + 4, 0);
         },
         "leaf links"},
        {"leaf chain skips a leaf", [&](Image* i) { Put16At(&i->bytes, page(*i, 0) + 6, 2); },
         "leaf links"},
        {"one level claimed",
         [&](Image* i) { Put16At(&i->bytes, i->offsets.at("|CONTEXT") + 9 + 32, 1); },
         "bytes free"},  // the index page read as a leaf
        {"three levels claimed",
         [&](Image* i) { Put16At(&i->bytes, i->offsets.at("|CONTEXT") + 9 + 32, 3); },
         "|CONTEXT: B-tree page"},
        {"an empty leaf",
         [&](Image* i) {
             Put16At(&i->bytes, page(*i, 2) + 2, 0);
             Put16At(&i->bytes, page(*i, 2), 24);
         },
         "empty leaf"},
        {"a hash twice", [&](Image* i) { Put32At(&i->bytes, page(*i, 1) + 8 + 8, 0x1003); },
         "hash 0x00001003 present twice"},
        {"two hashes of a leaf swapped",
         [&](Image* i) {
             Put32At(&i->bytes, page(*i, 1) + 8, 0x1004);
             Put32At(&i->bytes, page(*i, 1) + 8 + 8, 0x1003);
         },
         "neither signed nor unsigned order"},
        // Root index keys: 0x1003 over leaf 1, 0x1006 over leaf 2. A viewer
        // seeking 0x1003 below a key of 0x1004 would look in leaf 0; seeking
        // 0x1002 at or above a key of 0x1002 would look in leaf 1.
        {"index key above the first hash under it",
         [&](Image* i) { Put32At(&i->bytes, page(*i, 3) + 6, 0x1004); },
         "index key 1 out of order"},
        {"index key at the last hash left of it",
         [&](Image* i) { Put32At(&i->bytes, page(*i, 3) + 6, 0x1002); },
         "index key 1 out of order"},
        {"index key with the top bit set",
         [&](Image* i) { Put32At(&i->bytes, page(*i, 3) + 6 + 6, 0x80001006); },
         "index key 2 out of order"},
    };
    ExpectRefused(TreeParts(), cases);
}

// Cut short anywhere, with the header's size made to agree: the directory at
// the end no longer fits, whatever byte the cut falls on.
TEST(ReadHelpFile, RefusesEveryConsistentTruncation) {
    const Image image = BuildImage(SmallParts());
    for (std::size_t size = 16; size < image.bytes.size(); size++) {
        HelpBytes cut(image.bytes.begin(), image.bytes.begin() + size);
        Put32At(&cut, 12, static_cast<std::uint32_t>(size));
        HelpFile help;
        std::string error;
        EXPECT_FALSE(ReadHelpFile(cut, &help, &error)) << "cut to " << size;
        EXPECT_FALSE(error.empty()) << "cut to " << size;
    }
}

// Any byte of the directory or of |CONTEXT changed: either the file is
// refused with a message, or what was read writes out and reads back the same.
TEST(ReadHelpFile, SurvivesEveryChangedByteOfItsTrees) {
    const Image image = BuildImage(TreeParts());
    std::vector<std::pair<std::size_t, std::size_t>> ranges = {
        {image.directory, image.bytes.size()},
        {image.offsets.at("|CONTEXT"), image.offsets.at("|CONTEXT") + 9 + 38 + 4 * 32}};
    int refused = 0, accepted = 0;
    for (const auto& range : ranges) {
        for (std::size_t at = range.first; at < range.second; at++) {
            for (std::uint8_t change : {std::uint8_t{0x01}, std::uint8_t{0x80}}) {
                HelpBytes bytes = image.bytes;
                bytes[at] ^= change;
                HelpFile help;
                std::vector<HelpContextEntry> context;
                std::string error;
                const HelpInternalFile* file = nullptr;
                HelpContextOrder order;
                if (!ReadHelpFile(bytes, &help, &error) ||
                    ((file = FindHelpFile(help, "|CONTEXT")) != nullptr &&
                     !ReadHelpContext(*file, &context, &order, &error))) {
                    EXPECT_FALSE(error.empty()) << "byte " << at;
                    refused++;
                    continue;
                }
                accepted++;
                HelpBytes again;
                HelpFile back;
                ASSERT_TRUE(WriteHelpFile(help, &again, &error)) << error;
                ASSERT_TRUE(ReadHelpFile(again, &back, &error)) << "byte " << at << ": " << error;
                ASSERT_EQ(back.files.size(), help.files.size());
                for (std::size_t i = 0; i < help.files.size(); i++) {
                    EXPECT_EQ(back.files[i].name, help.files[i].name);
                    EXPECT_EQ(back.files[i].data, help.files[i].data);
                }
                // What is read is rewritten, and a viewer finds every topic
                // in what is written (a 0x80 change can make the order
                // unsigned, which the rewrite sorts).
                HelpBytes mapped;
                ASSERT_TRUE(ApplyHelpMap(bytes, "", &mapped, &error))
                    << "byte " << at << ": " << error;
                if (file == nullptr) continue;
                const HelpBytes tree = FindInImage(mapped, "|CONTEXT").data;
                for (const HelpContextEntry& entry : context) {
                    EXPECT_EQ(ViewerFinds(tree, entry.hash), entry.topicOffset)
                        << "byte " << at << ", hash " << entry.hash;
                }
            }
        }
    }
    // Unused page bytes and most stored offsets may change harmlessly; the
    // structure may not.
    EXPECT_GT(refused, 100);
    EXPECT_GT(accepted, 100);
}

// ---- Rewriting with a map

TEST(ApplyHelpMap, WritesTheMapSortedAndKeepsEveryOtherFile) {
    const std::vector<Part> parts = SmallParts();
    const Image image = BuildImage(parts);
    HelpBytes out;
    std::string error;
    ASSERT_TRUE(ApplyHelpMap(image.bytes, "# map\n2001 Beta\n1 Alpha\n111 BETA\n4294967295 gamma\n",
                             &out, &error))
        << error;

    EXPECT_EQ(At32(out, 0), 0x00035F3Fu);
    EXPECT_EQ(At32(out, 8), 0xFFFFFFFFu);
    EXPECT_EQ(At32(out, 12), out.size());
    for (const Part& part : parts) {
        if (part.name == "|CTXOMAP") continue;
        const Found found = FindInImage(out, part.name);
        EXPECT_TRUE(found.present) << part.name;
        EXPECT_EQ(found.flags, part.flags) << part.name;
        EXPECT_EQ(found.data, part.data) << part.name;
    }
    const Found map = FindInImage(out, "|CTXOMAP");
    ASSERT_TRUE(map.present);
    EXPECT_EQ(map.flags, 0);  // kept from Halibut's empty map
    const HelpBytes expected = {
        0x04, 0x00,                                      // four entries
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 1 -> Alpha
        0x6F, 0x00, 0x00, 0x00, 0x5D, 0x00, 0x00, 0x00,  // 111 -> Beta
        0xD1, 0x07, 0x00, 0x00, 0x5D, 0x00, 0x00, 0x00,  // 2001 -> Beta
        0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x80, 0x00, 0x00,  // 4294967295 -> Gamma
    };
    EXPECT_EQ(Hex(map.data), Hex(expected));

    // The file the tool wrote is what it reads as its own input: run again,
    // the same bytes come out.
    HelpBytes again;
    ASSERT_TRUE(
        ApplyHelpMap(out, "1 Alpha\n111 Beta\n2001 beta\n4294967295 GAMMA\n", &again, &error))
        << error;
    EXPECT_TRUE(again == out);
}

TEST(ApplyHelpMap, AddsAMapWhereThereIsNone) {
    HelpBytes out;
    std::string error;
    ASSERT_TRUE(ApplyHelpMap(BuildImage(TreeParts()).bytes, "7 Alpha\n", &out, &error)) << error;
    const Found map = FindInImage(out, "|CTXOMAP");
    ASSERT_TRUE(map.present);
    EXPECT_EQ(map.flags, 4);
    EXPECT_EQ(Hex(map.data), Hex({0x01, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00}));
    EXPECT_EQ(FindInImage(out, "|CONTEXT").data, TreeParts()[0].data);
}

// Halibut's |CONTEXT in unsigned order, where a viewer misses both topics
// whose hash has the top bit set, comes out in signed order, in Halibut's
// layout, with every other file as it was.
TEST(ApplyHelpMap, SortsAContextInUnsignedOrderAndKeepsEveryOtherFile) {
    const std::vector<Part> parts = HighParts();
    EXPECT_EQ(ViewerFinds(parts[0].data, SettingsHexHash), -1);
    EXPECT_EQ(ViewerFinds(parts[0].data, LongNameHash), -1);
    EXPECT_EQ(ViewerFinds(parts[0].data, GammaHash), GammaTopic);

    const std::string mapText =
        "5 settings_hex\n"
        "6 A_RATHER_LONG_TOPIC_NAME.WITH.DOTS.AND_DIGITS_0123456789\n"
        "1 Alpha\n";
    HelpBytes out;
    std::string error;
    ASSERT_TRUE(ApplyHelpMap(BuildImage(parts).bytes, mapText, &out, &error)) << error;
    for (const Part& part : parts) {
        if (part.name == "|CTXOMAP" || part.name == "|CONTEXT") continue;
        const Found found = FindInImage(out, part.name);
        EXPECT_TRUE(found.present) << part.name;
        EXPECT_EQ(found.flags, part.flags) << part.name;
        EXPECT_EQ(found.data, part.data) << part.name;
    }
    const Found context = FindInImage(out, "|CONTEXT");
    EXPECT_EQ(context.flags, parts[0].flags);
    EXPECT_TRUE(context.data == ContextTree(SignedOrder(HighPairs), 0x800, 255))
        << Hex(HelpBytes(context.data.begin(), context.data.begin() + 38 + 8 + 5 * 8));
    for (const Pair& pair : HighPairs) {
        EXPECT_EQ(ViewerFinds(context.data, pair.first), pair.second) << pair.first;
    }
    const HelpBytes expectedMap = {
        0x03, 0x00,                                      // three entries
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 1 -> Alpha
        0x05, 0x00, 0x00, 0x00, 0xDE, 0xC0, 0x00, 0x00,  // 5 -> settings_hex
        0x06, 0x00, 0x00, 0x00, 0x03, 0x02, 0x01, 0x00,  // 6 -> the long name
    };
    EXPECT_EQ(Hex(FindInImage(out, "|CTXOMAP").data), Hex(expectedMap));

    // Its own output is in signed order already: the same bytes again.
    HelpBytes again;
    ASSERT_TRUE(ApplyHelpMap(out, mapText, &again, &error)) << error;
    EXPECT_TRUE(again == out);
}

// Trees of several levels in unsigned order, as Halibut writes them for many
// topics or with small pages, are rebuilt in signed order with full pages of
// the same size, the header's flags kept, and every topic found by a viewer.
TEST(ApplyHelpMap, SortsAContextOfSeveralLevels) {
    const struct {
        std::uint16_t pageSize;
        std::size_t perLeaf;  // of the input
        std::size_t topics;
        std::uint16_t flags;
        int levels;  // of the output
    } cases[] = {
        {0x800, 255, 700, 0x0002, 2},  // 3 leaves under a root
        {64, 3, 200, 0x0002, 3},       // 29 leaves of 7, 3 index pages of 10
        {32, 1, 100, 0x0006, 4},       // 34 leaves of 3, 7 index pages of 5, 2
        {16, 1, 40, 0x0002, 7},        // leaves of 1, index pages of 2
    };
    for (const auto& c : cases) {
        const std::vector<Pair> pairs = ManyPairs(c.topics);
        std::vector<Part> parts = TreeParts();
        parts[0].data = ContextTree(UnsignedOrder(pairs), c.pageSize, c.perLeaf, 0, c.flags);
        int missed = 0;
        for (const Pair& pair : pairs) missed += ViewerFinds(parts[0].data, pair.first) < 0;
        EXPECT_GT(missed, 0) << "page size " << c.pageSize;

        HelpBytes out;
        std::string error;
        ASSERT_TRUE(ApplyHelpMap(BuildImage(parts).bytes, "", &out, &error)) << error;
        const HelpBytes tree = FindInImage(out, "|CONTEXT").data;
        EXPECT_TRUE(tree ==
                    ContextTree(SignedOrder(pairs), c.pageSize, FullLeaf(c.pageSize), 0, c.flags))
            << "page size " << c.pageSize;
        EXPECT_EQ(At16(tree, 32), c.levels) << "page size " << c.pageSize;
        for (const Pair& pair : pairs) {
            EXPECT_EQ(ViewerFinds(tree, pair.first), pair.second)
                << "page size " << c.pageSize << ", hash " << pair.first;
        }
        EXPECT_EQ(FindInImage(out, "|SYSTEM").data, parts[1].data);
        EXPECT_EQ(FindInImage(out, "|TOPIC").data, parts[2].data);

        HelpBytes again;
        ASSERT_TRUE(ApplyHelpMap(out, "", &again, &error)) << error;
        EXPECT_TRUE(again == out) << "page size " << c.pageSize;
    }
}

// A |CONTEXT a viewer can search already is kept byte for byte, in whatever
// layout it comes (here leaves and index pages not filled).
TEST(ApplyHelpMap, KeepsAContextInSignedOrderAsItIs) {
    const struct {
        const char* what;
        HelpBytes tree;
    } cases[] = {
        {"one leaf, high bits", ContextTree(SignedOrder(HighPairs), 0x800, 255)},
        {"one leaf, all high", ContextTree({{LongNameHash, 7}, {SettingsHexHash, 8}}, 0x800, 2)},
        {"sparse levels", ContextTree(SignedOrder(ManyPairs(50)), 64, 2, 3)},
        {"no topic", ContextTree({}, 0x800, 255)},
    };
    for (const auto& c : cases) {
        std::vector<Part> parts = SmallParts();
        parts[0].data = c.tree;
        HelpBytes out;
        std::string error;
        ASSERT_TRUE(ApplyHelpMap(BuildImage(parts).bytes, "", &out, &error)) << c.what << error;
        EXPECT_TRUE(FindInImage(out, "|CONTEXT").data == c.tree) << c.what;
    }
}

TEST(ApplyHelpMap, RefusesMapsItCannotResolve) {
    const HelpBytes small = BuildImage(SmallParts()).bytes;
    std::vector<Part> noContext = SmallParts();
    noContext.erase(noContext.begin());
    const HelpBytes withoutContext = BuildImage(noContext).bytes;
    const struct {
        const HelpBytes* image;
        const char* map;
        const char* message;
    } cases[] = {
        {&small, "1 Alpha\n2 Delta\n", "map line 2: topic \"Delta\""},
        {&small, "1 Alpha\n2 Alph\n", "is not in |CONTEXT"},
        {&small, "1 Alpha\n1 Beta\n", "already mapped"},
        {&small, "1 Alpha extra\n", "map line 1"},
        {&withoutContext, "1 Alpha\n", "no |CONTEXT"},
    };
    for (const auto& c : cases) {
        HelpBytes out;
        std::string error;
        EXPECT_FALSE(ApplyHelpMap(*c.image, c.map, &out, &error)) << c.map;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.map << ": " << error;
        EXPECT_TRUE(out.empty()) << c.map;
    }
    // Without names to find, no |CONTEXT is needed.
    HelpBytes out;
    std::string error;
    EXPECT_TRUE(ApplyHelpMap(withoutContext, "# nothing\n", &out, &error)) << error;
}

// ---- Writing

TEST(WriteHelpFile, BuildsADirectoryOfSeveralLevelsForManyFiles) {
    // 7-character names: 84 leaf entries and 101 index entries a 1 KB page,
    // so 9000 files take 108 leaves, two index pages and a root.
    HelpFile help;
    help.directoryFlags = 0;
    for (int i = 8999; i >= 0; i--) {  // the writer sorts
        char name[16];
        std::snprintf(name, sizeof name, "|f%05d", i);
        help.files.push_back(
            {name, static_cast<std::uint8_t>(i & 7),
             HelpBytes(static_cast<std::size_t>(i % 3), static_cast<std::uint8_t>(i))});
    }
    HelpBytes image;
    std::string error;
    ASSERT_TRUE(WriteHelpFile(help, &image, &error)) << error;

    const std::size_t tree = At32(image, 4) + 9;
    EXPECT_EQ(At16(image, tree), 0x293B);
    EXPECT_EQ(At16(image, tree + 2), 0x0402);
    EXPECT_EQ(At16(image, tree + 4), 0x0400);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[tree + 6])), "z4");
    EXPECT_EQ(At16(image, tree + 30), 111);      // pages
    EXPECT_EQ(At16(image, tree + 26), 110);      // root: the last page
    EXPECT_EQ(At16(image, tree + 32), 3);        // levels
    EXPECT_EQ(At16(image, tree + 24), 111 - 3);  // splits
    EXPECT_EQ(At32(image, tree + 34), 9000u);    // entries
    const std::size_t root = tree + 38 + 110 * 0x400;
    EXPECT_EQ(At16(image, root + 2), 1);    // two children
    EXPECT_EQ(At16(image, root + 4), 108);  // the first index page
    const std::size_t firstLeaf = tree + 38;
    EXPECT_EQ(At16(image, firstLeaf + 2), 84);
    EXPECT_EQ(At16(image, firstLeaf + 4), 0xFFFF);
    EXPECT_EQ(At16(image, firstLeaf + 6), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[firstLeaf + 8])), "|f00000");
    EXPECT_EQ(At32(image, firstLeaf + 8 + 8), 16u);  // the first file follows the header

    HelpFile back;
    ASSERT_TRUE(ReadHelpFile(image, &back, &error)) << error;
    ASSERT_EQ(back.files.size(), 9000u);
    for (std::size_t i = 0; i < back.files.size(); i++) {
        const HelpInternalFile& original = help.files[8999 - i];
        EXPECT_EQ(back.files[i].name, original.name);
        EXPECT_EQ(back.files[i].flags, original.flags);
        EXPECT_EQ(back.files[i].data, original.data);
    }
}

// An index key of the directory that would send a lookup to the wrong leaf,
// in a tree whose leaves and links are otherwise sound. The tree is the
// writer's, whose layout the test above pins down: leaves 0 to 107, then the
// index pages; the first index entry of page 108 names leaf 1, "|f00084".
TEST(ReadHelpFile, RefusesDirectoryIndexKeysThatMisdirectALookup) {
    HelpFile help;
    for (int i = 0; i < 9000; i++) {
        char name[16];
        std::snprintf(name, sizeof name, "|f%05d", i);
        help.files.push_back({name, 0, {}});
    }
    HelpBytes image;
    std::string error;
    ASSERT_TRUE(WriteHelpFile(help, &image, &error)) << error;
    const std::size_t key = At32(image, 4) + 9 + 38 + 108 * 0x400 + 6;
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(&image[key])), "|f00084");
    const struct {
        char last;
        bool ok;
    } cases[] = {
        {'4', true},   // the first key of leaf 1
        {'3', false},  // the last key of leaf 0: a lookup of it would miss
        {'9', false},  // above "|f00085", which would be looked up in leaf 0
    };
    for (const auto& c : cases) {
        HelpBytes changed = image;
        changed[key + 6] = static_cast<std::uint8_t>(c.last);
        HelpFile back;
        EXPECT_EQ(ReadHelpFile(changed, &back, &error), c.ok) << c.last;
        if (!c.ok) {
            EXPECT_NE(error.find("index key 1 out of order"), std::string::npos) << error;
        }
    }
}

TEST(WriteHelpFile, RefusesNamesItCannotStore) {
    const struct {
        std::vector<std::string> names;
        const char* message;
    } cases[] = {
        {{"|A", "|B", "|A"}, "given twice"},
        {{"|A", ""}, "unusable"},
        {{std::string("|A\0B", 4)}, "unusable"},
        {{std::string(1100, 'n')}, "does not fit"},
    };
    for (const auto& c : cases) {
        HelpFile help;
        for (const std::string& name : c.names) help.files.push_back({name, 0, {}});
        HelpBytes image;
        std::string error;
        EXPECT_FALSE(WriteHelpFile(help, &image, &error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

// ---- The tool's own search

// LookUpHelpContext finds what this test's viewer finds, hashes present or
// not, in trees of either order, and nothing in a tree it cannot walk.
TEST(LookUpHelpContext, FindsWhatAViewerFinds) {
    const std::vector<Pair> many = ManyPairs(60);
    const HelpBytes trees[] = {
        ContextTree(HighPairs, 0x800, 255),       ContextTree(SignedOrder(HighPairs), 0x800, 255),
        ContextTree(UnsignedOrder(many), 32, 2),  ContextTree(SignedOrder(many), 32, 2),
        ContextTree(SignedOrder(many), 64, 3, 2), ContextTree({}, 0x800, 255),
    };
    std::vector<std::uint32_t> probes = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    for (const Pair& pair : HighPairs) {
        probes.insert(probes.end(), {pair.first - 1, pair.first, pair.first + 1});
    }
    for (const Pair& pair : many) {
        probes.insert(probes.end(), {pair.first - 1, pair.first, pair.first + 1});
    }
    int found = 0, missed = 0;
    for (std::size_t t = 0; t < std::size(trees); t++) {
        const HelpInternalFile file{"|CONTEXT", 0, trees[t]};
        for (std::uint32_t hash : probes) {
            std::uint32_t offset = 0xDEADBEEF;
            const bool ok = LookUpHelpContext(file, hash, &offset);
            const std::int64_t viewer = ViewerFinds(trees[t], hash);
            EXPECT_EQ(ok, viewer >= 0) << "tree " << t << ", hash " << hash;
            if (ok) {
                EXPECT_EQ(offset, viewer) << "tree " << t << ", hash " << hash;
            }
            (ok ? found : missed)++;
        }
    }
    EXPECT_GT(found, 100);
    EXPECT_GT(missed, 100);

    std::uint32_t offset = 0;
    const HelpInternalFile unsignedTree{"|CONTEXT", 0, trees[0]};
    const HelpInternalFile signedTree{"|CONTEXT", 0, trees[1]};
    EXPECT_FALSE(LookUpHelpContext(unsignedTree, SettingsHexHash, &offset));
    ASSERT_TRUE(LookUpHelpContext(signedTree, SettingsHexHash, &offset));
    EXPECT_EQ(offset, SettingsHexTopic);
}

TEST(LookUpHelpContext, FindsNothingInATreeItCannotWalk) {
    // A tree of 4 levels and 32-byte pages: its root is the last page.
    const HelpBytes good = ContextTree(SignedOrder(ManyPairs(60)), 32, 2);
    const std::uint32_t hash = ManyPairs(60)[10].first;
    const std::size_t root = 38 + 32 * At16(good, 26);
    const struct {
        const char* what;
        std::function<void(HelpBytes*)> breakIt;
    } cases[] = {
        {"no header", [](HelpBytes* b) { b->resize(37); }},
        {"pages cut off", [](HelpBytes* b) { b->resize(b->size() - 1); }},
        {"bad magic", [](HelpBytes* b) { Put16At(b, 0, 0x293C); }},
        {"page size 8", [](HelpBytes* b) { Put16At(b, 4, 8); }},
        {"no levels", [](HelpBytes* b) { Put16At(b, 32, 0); }},
        {"levels beyond any tree", [](HelpBytes* b) { Put16At(b, 32, 60000); }},
        {"root out of range", [](HelpBytes* b) { Put16At(b, 26, 5000); }},
        {"root entries past its page", [&](HelpBytes* b) { Put16At(b, root + 2, 5); }},
        {"negative entry count", [&](HelpBytes* b) { Put16At(b, root + 2, 0x8000); }},
        {"child out of range", [&](HelpBytes* b) { Put16At(b, root + 4, 0x7777); }},
        {"index pages read as leaves", [](HelpBytes* b) { Put16At(b, 32, 1); }},
    };
    std::uint32_t offset = 0;
    ASSERT_TRUE(LookUpHelpContext({"|CONTEXT", 0, good}, hash, &offset));
    for (const auto& c : cases) {
        HelpBytes broken = good;
        c.breakIt(&broken);
        EXPECT_FALSE(LookUpHelpContext({"|CONTEXT", 0, broken}, hash, &offset)) << c.what;
    }
}

// ---- The map file and --dump

TEST(ReadHelpMap, SizeMustMatchTheCount) {
    const struct {
        HelpBytes data;
        bool ok;
    } cases[] = {
        {{0, 0}, true},
        {{1, 0, 1, 0, 0, 0, 2, 0, 0, 0}, true},
        {{}, false},
        {{0}, false},
        {{0, 0, 0}, false},
        {{1, 0, 1, 0, 0, 0, 2, 0, 0}, false},
        {{2, 0, 1, 0, 0, 0, 2, 0, 0, 0}, false},
    };
    for (const auto& c : cases) {
        HelpInternalFile file{"|CTXOMAP", 0, c.data};
        std::vector<HelpMapEntry> entries;
        std::string error;
        EXPECT_EQ(ReadHelpMap(file, &entries, &error), c.ok) << Hex(c.data);
    }
}

TEST(DumpHelpFile, ListsFilesContextAndMap) {
    std::vector<Part> parts = SmallParts();
    // 5 maps to no topic offset, 1 and 9 to Alpha's and Gamma's.
    parts[1].data = EncodeHelpMap({{9, GammaTopic}, {1, AlphaTopic}, {5, 0x44}});
    std::string text, error;
    ASSERT_TRUE(DumpHelpFile(BuildImage(parts).bytes, &text, &error)) << error;
    EXPECT_EQ(text, "file |CONTEXT " + std::to_string(parts[0].data.size()) +
                        "\n"
                        "file |CTXOMAP 26\n"
                        "file |FONT 16\n"
                        "file |SYSTEM 10\n"
                        "file |TOPIC 308\n"
                        "context-order signed\n"
                        "context 0x00167420 0x0000005D\n"
                        "context 0x0399B90E 0x00000000\n"
                        "context 0x04C54C0F 0x00008010\n"
                        "map 9 0x00008010 topic\n"
                        "map 1 0x00000000 topic\n"
                        "map 5 0x00000044 no-topic\n");

    // Halibut's order on a 64-bit host, in the order stored.
    ASSERT_TRUE(DumpHelpFile(BuildImage(HighParts()).bytes, &text, &error)) << error;
    EXPECT_NE(text.find("file |TOPIC 308\n"
                        "context-order unsigned\n"
                        "context 0x00167420 0x0000005D\n"
                        "context 0x0399B90E 0x00000000\n"
                        "context 0x04C54C0F 0x00008010\n"
                        "context 0x84E228F5 0x00010203\n"
                        "context 0xE0A9DBED 0x0000C0DE\n"),
              std::string::npos)
        << text;

    // Without |CONTEXT, no order.
    std::vector<Part> noContext(parts.begin() + 1, parts.end());
    ASSERT_TRUE(DumpHelpFile(BuildImage(noContext).bytes, &text, &error)) << error;
    EXPECT_EQ(text.find("context"), std::string::npos) << text;
    EXPECT_NE(text.find("map 5 0x00000044 no-topic\n"), std::string::npos) << text;

    parts[1].data.pop_back();
    EXPECT_FALSE(DumpHelpFile(BuildImage(parts).bytes, &text, &error));
    EXPECT_NE(error.find("|CTXOMAP"), std::string::npos) << error;
}

}  // namespace
