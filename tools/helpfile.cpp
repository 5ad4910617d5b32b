// Reading, checking and writing WinHelp files for the context-number map tool.
// Layouts follow the public notes on the format (helpdeco's helpfile.txt) and
// what Wine's winhlp32 reads: a B-tree header at the start of the directory's
// content with its pages behind it, leaf pages of (key, 32-bit value) chained
// both ways, index pages of (first child, then key and child per entry). A
// reader descends to the child after the last index key not above the key it
// seeks and scans that leaf until a key above it; |CONTEXT's hashes compare
// as signed 32-bit numbers there (the format notes make them a signed long).
#include "tools/helpfile.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

namespace {

// ---- Little-endian bytes

std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void Put16(HelpBytes* out, std::uint32_t value) {
    out->push_back(static_cast<std::uint8_t>(value & 0xFF));
    out->push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void Put32(HelpBytes* out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Set16(HelpBytes* out, std::size_t at, std::uint32_t value) {
    (*out)[at] = static_cast<std::uint8_t>(value & 0xFF);
    (*out)[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

bool Fail(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
}

// ---- B-trees

constexpr std::uint16_t NoPage = 0xFFFF;
constexpr std::size_t LeafHeaderSize = 8;         // unused, entries, previous, next
constexpr std::size_t IndexHeaderSize = 6;        // unused, entries, first child
constexpr std::size_t ContextLeafEntrySize = 8;   // hash, topic offset
constexpr std::size_t ContextIndexEntrySize = 6;  // hash, child page
// Deeper trees than this would hold more entries than any help file has; the
// bound keeps the descent's recursion shallow on a forged level count.
constexpr std::uint16_t MaxTreeLevels = 16;

enum class KeyKind {
    Text,  // NUL-terminated (the directory's file names)
    Long,  // 32 bits (|CONTEXT's hashes)
};

struct TreeEntry {
    std::string key;  // the name, or the 4 bytes of a 32-bit key as stored
    std::uint32_t value;
};

std::uint32_t LongKey(const std::string& key) {
    return Get32(reinterpret_cast<const std::uint8_t*>(key.data()));
}

std::string LongKeyBytes(std::uint32_t value) {
    HelpBytes bytes;
    Put32(&bytes, value);
    return std::string(bytes.begin(), bytes.end());
}

// A 32-bit value with its top bit flipped: unsigned comparisons of these
// order the values as signed 32-bit numbers (0x80000000 lowest, 0x7FFFFFFF
// highest), which is how WinHelp readers compare topic hashes.
std::uint32_t SignedRank(std::uint32_t value) {
    return value ^ 0x80000000u;
}

// Key orders a B-tree can be checked against.
using KeyLess = bool (*)(const std::string&, const std::string&);

bool TextLess(const std::string& a, const std::string& b) {
    return a < b;  // as unsigned bytes, like the readers' strcmp
}

bool SignedLess(const std::string& a, const std::string& b) {
    return SignedRank(LongKey(a)) < SignedRank(LongKey(b));
}

bool UnsignedLess(const std::string& a, const std::string& b) {
    return LongKey(a) < LongKey(b);
}

// Reads one B-tree from the content of an internal file. The pages are walked
// from the root down as many levels as the header gives, none twice; the
// leaves so reached must be chained to each other in that order, every entry
// must lie inside its page and each page's free byte count must match its
// entries. The order of the keys is checked apart (CheckOrder), as |CONTEXT
// is read in either of two orders.
class TreeReader {
public:
    TreeReader(const HelpBytes& data, std::string what, KeyKind kind)
        : data_(data), what_(std::move(what)), kind_(kind) {}

    bool Read(std::vector<TreeEntry>* entries, std::string* error) {
        if (data_.size() < HelpBTreeHeaderSize) {
            return Fail(error,
                        what_ + ": B-tree header truncated (" + Number(data_.size()) + " bytes)");
        }
        const std::uint8_t* h = data_.data();
        if (Get16(h) != HelpBTreeMagic) {
            return Fail(error, what_ + ": bad B-tree magic " + Hex32(Get16(h)));
        }
        pageSize_ = Get16(h + 4);
        const std::uint16_t root = Get16(h + 26);
        totalPages_ = Get16(h + 30);
        levels_ = Get16(h + 32);
        const std::uint32_t total = Get32(h + 34);
        if (pageSize_ < 16) {
            return Fail(error, what_ + ": B-tree page size " + Number(pageSize_) + " too small");
        }
        const std::uint64_t needed =
            HelpBTreeHeaderSize + static_cast<std::uint64_t>(totalPages_) * pageSize_;
        if (needed > data_.size()) {
            return Fail(error, what_ + ": " + Number(totalPages_) + " B-tree pages of " +
                                   Number(pageSize_) + " bytes need " + Number(needed) +
                                   " bytes, the file holds " + Number(data_.size()));
        }
        if (totalPages_ == 0) {
            if (total != 0) {
                return Fail(error,
                            what_ + ": B-tree without pages claims " + Number(total) + " entries");
            }
            entries->clear();
            return true;
        }
        if (levels_ == 0 || levels_ > MaxTreeLevels || levels_ > totalPages_) {
            return Fail(error, what_ + ": B-tree level count " + Number(levels_) +
                                   " does not fit " + Number(totalPages_) + " pages");
        }
        if (root >= totalPages_) {
            return Fail(error, what_ + ": B-tree root page " + Number(root) + " out of range");
        }
        seen_.assign(totalPages_, false);
        if (!Walk(root, levels_, error)) return false;
        if (!CheckLeafChain(error)) return false;
        if (entries_.size() != total) {
            return Fail(error, what_ + ": B-tree header counts " + Number(total) +
                                   " entries, its leaves hold " + Number(entries_.size()));
        }
        *entries = std::move(entries_);
        entries_.clear();
        return true;
    }

    // After Read, with the entries it gave: the keys must rise strictly in
    // this order, and every index key must separate its neighbouring
    // subtrees as a lookup needs it to. A lookup goes to the child after the
    // last index key not above the key sought, so all keys left of an index
    // key lie below it and the first key under it is the index key or above.
    bool CheckOrder(const std::vector<TreeEntry>& entries, KeyLess less, std::string* error) const {
        for (std::size_t i = 1; i < entries.size(); i++) {
            if (!less(entries[i - 1].key, entries[i].key)) {
                return Fail(error, what_ + ": B-tree keys out of order at entry " + Number(i));
            }
        }
        for (const Separator& s : separators_) {
            if (s.first == 0 || s.first >= entries.size() ||
                !less(entries[s.first - 1].key, s.key) || less(entries[s.first].key, s.key)) {
                return Fail(error,
                            Where(s.page) + ": index key " + Number(s.index) + " out of order");
            }
        }
        return true;
    }

private:
    struct Leaf {
        std::uint16_t page, previous, next;
    };

    // An index key with the position, in the leaves' order, of the first
    // entry of the subtree to its right.
    struct Separator {
        std::uint16_t page;
        std::size_t index;  // 1 for the page's first key
        std::string key;
        std::size_t first;
    };

    const std::uint8_t* Page(std::uint16_t page) const {
        return data_.data() + HelpBTreeHeaderSize + static_cast<std::size_t>(page) * pageSize_;
    }

    std::string Where(std::uint16_t page) const { return what_ + ": B-tree page " + Number(page); }

    // Reads the key at *pos of a page, moving past it.
    bool ReadKey(std::uint16_t page, std::size_t* pos, std::string* key, std::string* error) {
        const std::uint8_t* p = Page(page);
        if (kind_ == KeyKind::Long) {
            if (*pos + 4 > pageSize_) return Fail(error, Where(page) + ": entry past page end");
            key->assign(reinterpret_cast<const char*>(p + *pos), 4);
            *pos += 4;
            return true;
        }
        std::size_t end = *pos;
        while (end < pageSize_ && p[end] != 0) end++;
        if (end >= pageSize_) return Fail(error, Where(page) + ": name runs past page end");
        key->assign(reinterpret_cast<const char*>(p + *pos), end - *pos);
        *pos = end + 1;
        return true;
    }

    bool CheckUnused(std::uint16_t page, std::size_t used, std::string* error) const {
        const std::uint16_t unused = Get16(Page(page));
        if (unused != pageSize_ - used) {
            return Fail(error, Where(page) + ": says " + Number(unused) + " bytes free, its " +
                                   "entries leave " + Number(pageSize_ - used));
        }
        return true;
    }

    bool Walk(std::uint16_t page, std::uint16_t level, std::string* error) {
        if (page >= totalPages_) {
            return Fail(error, what_ + ": B-tree refers to page " + Number(page) + " of " +
                                   Number(totalPages_));
        }
        if (seen_[page]) return Fail(error, Where(page) + ": reached twice");
        seen_[page] = true;
        const std::uint8_t* p = Page(page);
        const std::int16_t count = static_cast<std::int16_t>(Get16(p + 2));
        if (count < 0) return Fail(error, Where(page) + ": negative entry count");
        if (level == 1) return ReadLeaf(page, count, error);

        std::size_t pos = IndexHeaderSize;
        std::vector<std::pair<std::string, std::uint16_t>> children;
        children.emplace_back(std::string(), Get16(p + 4));
        for (int i = 0; i < count; i++) {
            std::string key;
            if (!ReadKey(page, &pos, &key, error)) return false;
            if (pos + 2 > pageSize_) return Fail(error, Where(page) + ": entry past page end");
            children.emplace_back(std::move(key), Get16(p + pos));
            pos += 2;
        }
        if (!CheckUnused(page, pos, error)) return false;
        for (std::size_t i = 0; i < children.size(); i++) {
            if (i > 0) separators_.push_back({page, i, children[i].first, entries_.size()});
            if (!Walk(children[i].second, level - 1, error)) return false;
        }
        return true;
    }

    bool ReadLeaf(std::uint16_t page, int count, std::string* error) {
        const std::uint8_t* p = Page(page);
        if (count == 0 && totalPages_ != 1) return Fail(error, Where(page) + ": empty leaf");
        std::size_t pos = LeafHeaderSize;
        for (int i = 0; i < count; i++) {
            TreeEntry entry;
            if (!ReadKey(page, &pos, &entry.key, error)) return false;
            if (pos + 4 > pageSize_) return Fail(error, Where(page) + ": entry past page end");
            entry.value = Get32(p + pos);
            pos += 4;
            entries_.push_back(std::move(entry));
        }
        if (!CheckUnused(page, pos, error)) return false;
        leaves_.push_back({page, Get16(p + 4), Get16(p + 6)});
        return true;
    }

    // A reader that walks the leaf chain sees what the descent saw.
    bool CheckLeafChain(std::string* error) const {
        for (std::size_t i = 0; i < leaves_.size(); i++) {
            const std::uint16_t previous = i == 0 ? NoPage : leaves_[i - 1].page;
            const std::uint16_t next = i + 1 == leaves_.size() ? NoPage : leaves_[i + 1].page;
            if (leaves_[i].previous != previous || leaves_[i].next != next) {
                return Fail(error, Where(leaves_[i].page) + ": leaf links " +
                                       Number(leaves_[i].previous) + "/" + Number(leaves_[i].next) +
                                       " where the tree gives " + Number(previous) + "/" +
                                       Number(next));
            }
        }
        return true;
    }

    const HelpBytes& data_;
    std::string what_;
    KeyKind kind_;
    std::uint16_t pageSize_ = 0;
    std::uint16_t totalPages_ = 0;
    std::uint16_t levels_ = 0;
    std::vector<bool> seen_;
    std::vector<Leaf> leaves_;
    std::vector<Separator> separators_;
    std::vector<TreeEntry> entries_;
};

// What a B-tree's header gives besides its shape: the kind of its keys, its
// flags, its page size and its 16-byte structure text ("z4", "L4").
struct TreeFormat {
    KeyKind kind;
    std::uint16_t flags;
    std::uint16_t pageSize;
    std::string structure;
};

// Writes a B-tree of keys, sorted in the order its readers compare them, and
// 32-bit values, laid out as Halibut and the Microsoft compilers do: leaves
// filled in order, then index levels over them (each page's first child, then
// the first key and the page of every further child) until one page remains,
// which is the root and the last page. A page's free bytes are zero.
bool WriteTree(const std::vector<TreeEntry>& entries, const TreeFormat& format, HelpBytes* out,
               std::string* error) {
    const std::size_t pageSize = format.pageSize;
    // A key as stored: a name with its NUL, or the 4 bytes of a number.
    auto stored = [&format](const std::string& key) {
        std::string bytes = key;
        if (format.kind == KeyKind::Text) bytes.push_back('\0');
        return bytes;
    };
    std::vector<HelpBytes> pages;
    std::vector<std::string> firstKeys;  // first key under each page, as stored

    std::size_t next = 0;
    while (next < entries.size()) {
        HelpBytes page(LeafHeaderSize, 0);
        firstKeys.push_back(stored(entries[next].key));
        int count = 0;
        while (next < entries.size()) {
            const std::string key = stored(entries[next].key);
            if (page.size() + key.size() + 4 > pageSize) break;
            page.insert(page.end(), key.begin(), key.end());
            Put32(&page, entries[next].value);
            count++;
            next++;
        }
        if (count == 0) {
            if (format.kind == KeyKind::Text) {
                return Fail(error, "name \"" + entries[next].key + "\" does not fit a B-tree page");
            }
            return Fail(error, "B-tree page of " + Number(pageSize) + " bytes too small");
        }
        const std::size_t used = page.size();
        page.resize(pageSize, 0);
        const std::uint32_t index = static_cast<std::uint32_t>(pages.size());
        Set16(&page, 0, static_cast<std::uint32_t>(pageSize - used));
        Set16(&page, 2, static_cast<std::uint32_t>(count));
        Set16(&page, 4, index == 0 ? NoPage : index - 1);
        Set16(&page, 6, next < entries.size() ? index + 1 : NoPage);
        pages.push_back(std::move(page));
        if (pages.size() >= NoPage) return Fail(error, "too many B-tree pages");
    }

    std::size_t levels = 1;
    std::size_t levelFirst = 0;
    std::size_t levelCount = pages.size();
    while (levelCount > 1) {
        levels++;
        const std::size_t levelEnd = levelFirst + levelCount;
        const std::size_t nextFirst = pages.size();
        std::size_t child = levelFirst;
        while (child < levelEnd) {
            HelpBytes page(IndexHeaderSize, 0);
            Set16(&page, 4, static_cast<std::uint32_t>(child));
            std::string firstKey = firstKeys[child];
            child++;
            int count = 0;
            while (child < levelEnd) {
                const std::string& key = firstKeys[child];
                if (page.size() + key.size() + 2 > pageSize) break;
                page.insert(page.end(), key.begin(), key.end());
                Put16(&page, static_cast<std::uint32_t>(child));
                count++;
                child++;
            }
            // A page that cannot take a second child would never bring the
            // level down to a root. (The last page of a level may have one.)
            if (count == 0 && child < levelEnd) {
                return Fail(error,
                            "B-tree page of " + Number(pageSize) + " bytes holds no index entry");
            }
            const std::size_t used = page.size();
            page.resize(pageSize, 0);
            Set16(&page, 0, static_cast<std::uint32_t>(pageSize - used));
            Set16(&page, 2, static_cast<std::uint32_t>(count));
            pages.push_back(std::move(page));
            firstKeys.push_back(std::move(firstKey));
            if (pages.size() >= NoPage) return Fail(error, "too many B-tree pages");
        }
        levelFirst = nextFirst;
        levelCount = pages.size() - nextFirst;
    }

    out->clear();
    Put16(out, HelpBTreeMagic);
    Put16(out, format.flags);
    Put16(out, format.pageSize);
    std::string structure = format.structure;
    structure.resize(16, '\0');
    out->insert(out->end(), structure.begin(), structure.end());
    Put16(out, 0);  // must be zero
    // Each page but the first of a level came from splitting a full one.
    Put16(out, static_cast<std::uint32_t>(pages.size() - std::min(pages.size(), levels)));
    Put16(out, pages.empty() ? NoPage : static_cast<std::uint32_t>(pages.size() - 1));
    Put16(out, 0xFFFF);  // must be -1
    Put16(out, static_cast<std::uint32_t>(pages.size()));
    Put16(out, static_cast<std::uint32_t>(levels));
    Put32(out, static_cast<std::uint32_t>(entries.size()));
    for (const HelpBytes& page : pages) out->insert(out->end(), page.begin(), page.end());
    return true;
}

bool SameFiles(const HelpFile& a, const HelpFile& b) {
    if (a.directoryFlags != b.directoryFlags || a.files.size() != b.files.size()) return false;
    for (std::size_t i = 0; i < a.files.size(); i++) {
        const HelpInternalFile& x = a.files[i];
        const HelpInternalFile& y = b.files[i];
        if (x.name != y.name || x.flags != y.flags || x.data != y.data) return false;
    }
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The value each byte of a topic name adds to its hash (helpfile.txt), read
// as a signed byte: letters count the same in either case.
const std::uint8_t TopicHashValue[256] = {
    0x00, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7,  // 0x00
    0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,  // 0x08
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7,  // 0x10
    0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,  // 0x18
    0xF0, 0x0B, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7,  // 0x20
    0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0x0C, 0xFF,  // 0x28
    0x0A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,  // 0x30
    0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,  // 0x38
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,  // 0x40
    0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,  // 0x48
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,  // 0x50
    0x28, 0x29, 0x2A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0D,  // 0x58
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,  // 0x60
    0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,  // 0x68
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,  // 0x70
    0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,  // 0x78
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57,  // 0x80
    0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,  // 0x88
    0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67,  // 0x90
    0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,  // 0x98
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77,  // 0xA0
    0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,  // 0xA8
    0x80, 0x81, 0x82, 0x83, 0x0B, 0x85, 0x86, 0x87,  // 0xB0
    0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F,  // 0xB8
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,  // 0xC0
    0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,  // 0xC8
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,  // 0xD0
    0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,  // 0xD8
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7,  // 0xE0
    0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,  // 0xE8
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,  // 0xF0
    0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,  // 0xF8
};

}  // namespace

std::uint32_t HelpTopicHash(std::string_view name) {
    if (name.empty()) return 1;
    std::uint32_t hash = 0;
    for (char c : name) {
        const std::uint8_t byte = TopicHashValue[static_cast<unsigned char>(c)];
        // A value of 0x80 or more is negative; in unsigned arithmetic, which
        // wraps modulo 2^32 as the 32-bit original did, that is adding it
        // less 256.
        hash = hash * 43u + byte - (byte >= 0x80 ? 0x100u : 0u);
    }
    return hash;
}

bool ReadHelpFile(const HelpBytes& image, HelpFile* help, std::string* error) {
    if (image.size() < HelpFileHeaderSize) {
        return Fail(error, "truncated: " + Number(image.size()) + " bytes, no room for a header");
    }
    const std::uint8_t* h = image.data();
    if (Get32(h) != HelpFileMagic) {
        return Fail(error, "bad magic " + Hex32(Get32(h)) + " (not a WinHelp file)");
    }
    const std::uint32_t directoryStart = Get32(h + 4);
    const std::uint32_t freeList = Get32(h + 8);
    const std::uint32_t declaredSize = Get32(h + 12);
    if (image.size() < declaredSize) {
        return Fail(error, "truncated: " + Number(image.size()) + " bytes, the header says " +
                               Number(declaredSize));
    }
    if (image.size() > declaredSize) {
        return Fail(error, Number(image.size() - declaredSize) +
                               " bytes past the size the header gives (" + Number(declaredSize) +
                               ")");
    }
    if (freeList != HelpNoFreeList && (freeList < HelpFileHeaderSize ||
                                       static_cast<std::uint64_t>(freeList) + 8 > image.size())) {
        return Fail(error, "free list at " + Hex32(freeList) + " lies outside the file");
    }

    // An internal file's header and reserved space, checked against the image.
    struct Extent {
        std::uint64_t start, end;
        std::string name;
    };
    std::vector<Extent> extents;
    auto readHeader = [&](std::uint32_t at, const std::string& label, HelpInternalFile* file) {
        if (at < HelpFileHeaderSize ||
            static_cast<std::uint64_t>(at) + HelpInternalHeaderSize > image.size()) {
            return Fail(error, label + " at " + Hex32(at) + " lies outside the file");
        }
        const std::uint32_t reserved = Get32(image.data() + at);
        const std::uint32_t used = Get32(image.data() + at + 4);
        if (static_cast<std::uint64_t>(used) + HelpInternalHeaderSize > reserved) {
            return Fail(error, label + " at " + Hex32(at) + ": " + Number(used) +
                                   " bytes used do not fit " + Number(reserved) + " reserved");
        }
        if (static_cast<std::uint64_t>(at) + reserved > image.size()) {
            return Fail(error, label + " at " + Hex32(at) + ": " + Number(reserved) +
                                   " bytes reserved run past the end of the file");
        }
        extents.push_back({at, static_cast<std::uint64_t>(at) + reserved, label});
        file->flags = image[at + 8];
        const auto content = image.begin() + static_cast<std::ptrdiff_t>(at) +
                             static_cast<std::ptrdiff_t>(HelpInternalHeaderSize);
        file->data.assign(content, content + static_cast<std::ptrdiff_t>(used));
        return true;
    };

    HelpInternalFile directory;
    directory.name = "directory";
    if (!readHeader(directoryStart, "directory", &directory)) return false;
    std::vector<TreeEntry> entries;
    TreeReader directoryTree(directory.data, "directory", KeyKind::Text);
    if (!directoryTree.Read(&entries, error) ||
        !directoryTree.CheckOrder(entries, TextLess, error)) {
        return false;
    }

    HelpFile result;
    result.directoryFlags = directory.flags;
    for (const TreeEntry& entry : entries) {
        if (entry.key.empty()) return Fail(error, "directory: empty file name");
        HelpInternalFile file;
        file.name = entry.key;
        if (!readHeader(entry.value, "internal file " + entry.key, &file)) return false;
        result.files.push_back(std::move(file));
    }

    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < extents.size(); i++) {
        if (extents[i].start < extents[i - 1].end) {
            return Fail(error, extents[i].name + " at " +
                                   Hex32(static_cast<std::uint32_t>(extents[i].start)) +
                                   " overlaps " + extents[i - 1].name);
        }
    }
    *help = std::move(result);
    return true;
}

bool WriteHelpFile(const HelpFile& help, HelpBytes* image, std::string* error) {
    std::vector<const HelpInternalFile*> files;
    for (const HelpInternalFile& file : help.files) files.push_back(&file);
    std::sort(files.begin(), files.end(), [](const HelpInternalFile* a, const HelpInternalFile* b) {
        return a->name < b->name;
    });
    for (std::size_t i = 0; i < files.size(); i++) {
        const std::string& name = files[i]->name;
        if (name.empty() || name.find('\0') != std::string::npos) {
            return Fail(error, "unusable internal file name \"" + name + "\"");
        }
        if (i > 0 && files[i - 1]->name == name) {
            return Fail(error, "internal file " + name + " given twice");
        }
    }

    std::vector<TreeEntry> entries;
    std::uint64_t offset = HelpFileHeaderSize;
    for (const HelpInternalFile* file : files) {
        entries.push_back({file->name, static_cast<std::uint32_t>(offset)});
        offset += HelpInternalHeaderSize + file->data.size();
        if (offset > 0xFFFFFFFFu) return Fail(error, "help file larger than 4 GB");
    }
    HelpBytes tree;
    const TreeFormat format{KeyKind::Text, HelpDirectoryTreeFlags, HelpDirectoryPageSize,
                            HelpDirectoryTreeFormat};
    if (!WriteTree(entries, format, &tree, error)) return false;
    const std::uint64_t directoryStart = offset;
    const std::uint64_t total = directoryStart + HelpInternalHeaderSize + tree.size();
    if (total > 0xFFFFFFFFu) return Fail(error, "help file larger than 4 GB");

    HelpBytes out;
    out.reserve(static_cast<std::size_t>(total));
    Put32(&out, HelpFileMagic);
    Put32(&out, static_cast<std::uint32_t>(directoryStart));
    Put32(&out, HelpNoFreeList);
    Put32(&out, static_cast<std::uint32_t>(total));
    auto putFile = [&out](const HelpBytes& data, std::uint8_t flags) {
        const std::uint32_t used = static_cast<std::uint32_t>(data.size());
        Put32(&out, used + static_cast<std::uint32_t>(HelpInternalHeaderSize));  // reserved
        Put32(&out, used);
        out.push_back(flags);
        out.insert(out.end(), data.begin(), data.end());
    };
    for (const HelpInternalFile* file : files) putFile(file->data, file->flags);
    putFile(tree, help.directoryFlags);
    *image = std::move(out);
    return true;
}

const HelpInternalFile* FindHelpFile(const HelpFile& help, std::string_view name) {
    for (const HelpInternalFile& file : help.files) {
        if (file.name == name) return &file;
    }
    return nullptr;
}

bool ReadHelpContext(const HelpInternalFile& file, std::vector<HelpContextEntry>* entries,
                     HelpContextOrder* order, std::string* error) {
    std::vector<TreeEntry> tree;
    TreeReader reader(file.data, file.name, KeyKind::Long);
    if (!reader.Read(&tree, error)) return false;
    std::vector<HelpContextEntry> result;
    for (const TreeEntry& entry : tree) result.push_back({LongKey(entry.key), entry.value});
    std::vector<std::uint32_t> hashes;
    for (const HelpContextEntry& entry : result) hashes.push_back(entry.hash);
    std::sort(hashes.begin(), hashes.end());
    const auto twice = std::adjacent_find(hashes.begin(), hashes.end());
    if (twice != hashes.end()) {
        return Fail(error, file.name + ": topic hash " + Hex32(*twice) + " present twice");
    }
    // Readers compare hashes as signed numbers; Halibut sorts them so where
    // its `long` has 32 bits, and as unsigned numbers where it has 64. A tree
    // whose hashes all lie on one side of 0x80000000 is in both orders.
    std::string signedWhy, unsignedWhy;
    if (reader.CheckOrder(tree, SignedLess, &signedWhy)) {
        *order = HelpContextOrder::Signed;
    } else if (reader.CheckOrder(tree, UnsignedLess, &unsignedWhy)) {
        *order = HelpContextOrder::Unsigned;
    } else {
        return Fail(error, file.name + ": hashes in neither signed nor unsigned order (signed: " +
                               signedWhy + "; unsigned: " + unsignedWhy + ")");
    }
    *entries = std::move(result);
    return true;
}

bool SortHelpContext(const HelpInternalFile& file, HelpBytes* data, std::string* error) {
    std::vector<HelpContextEntry> entries;
    HelpContextOrder order;
    if (!ReadHelpContext(file, &entries, &order, error)) return false;
    if (order == HelpContextOrder::Signed) {
        *data = file.data;
        return true;
    }
    std::sort(entries.begin(), entries.end(),
              [](const HelpContextEntry& a, const HelpContextEntry& b) {
                  return SignedRank(a.hash) < SignedRank(b.hash);
              });
    std::vector<TreeEntry> tree;
    for (const HelpContextEntry& entry : entries) {
        tree.push_back({LongKeyBytes(entry.hash), entry.topicOffset});
    }
    // The header was read, so its fixed part is there.
    const std::uint8_t* h = file.data.data();
    const TreeFormat format{KeyKind::Long, Get16(h + 2), Get16(h + 4),
                            std::string(reinterpret_cast<const char*>(h + 6), 16)};
    HelpBytes out;
    if (!WriteTree(tree, format, &out, error)) return false;
    *data = std::move(out);
    return true;
}

bool LookUpHelpContext(const HelpInternalFile& file, std::uint32_t hash,
                       std::uint32_t* topicOffset) {
    const HelpBytes& data = file.data;
    if (data.size() < HelpBTreeHeaderSize || Get16(data.data()) != HelpBTreeMagic) return false;
    const std::size_t pageSize = Get16(data.data() + 4);
    std::uint16_t page = Get16(data.data() + 26);
    const std::uint16_t pages = Get16(data.data() + 30);
    const std::uint16_t levels = Get16(data.data() + 32);
    if (pageSize < 16 || levels == 0 || levels > MaxTreeLevels ||
        HelpBTreeHeaderSize + static_cast<std::uint64_t>(pages) * pageSize > data.size()) {
        return false;
    }
    const std::uint32_t sought = SignedRank(hash);
    for (std::uint16_t level = levels;; level--) {
        if (page >= pages) return false;
        const std::uint8_t* p = data.data() + HelpBTreeHeaderSize + page * pageSize;
        const std::int16_t count = static_cast<std::int16_t>(Get16(p + 2));
        if (count < 0) return false;
        if (level == 1) {
            if (LeafHeaderSize + count * ContextLeafEntrySize > pageSize) return false;
            for (int i = 0; i < count; i++) {
                const std::uint8_t* entry = p + LeafHeaderSize + i * ContextLeafEntrySize;
                const std::uint32_t key = Get32(entry);
                if (key == hash) {
                    *topicOffset = Get32(entry + 4);
                    return true;
                }
                // The leaf is sorted: past the place of the hash, it is absent.
                if (SignedRank(key) > sought) return false;
            }
            return false;
        }
        if (IndexHeaderSize + count * ContextIndexEntrySize > pageSize) return false;
        // The child after the last index key not above the hash sought.
        std::uint16_t child = Get16(p + 4);
        for (int i = 0; i < count; i++) {
            const std::uint8_t* entry = p + IndexHeaderSize + i * ContextIndexEntrySize;
            if (SignedRank(Get32(entry)) > sought) break;
            child = Get16(entry + 4);
        }
        page = child;
    }
}

bool ReadHelpMap(const HelpInternalFile& file, std::vector<HelpMapEntry>* entries,
                 std::string* error) {
    if (file.data.size() < 2) {
        return Fail(error, file.name + ": " + Number(file.data.size()) + " bytes, no entry count");
    }
    const std::uint16_t count = Get16(file.data.data());
    const std::size_t expected = 2 + static_cast<std::size_t>(count) * 8;
    if (file.data.size() != expected) {
        return Fail(error, file.name + ": " + Number(count) + " entries need " + Number(expected) +
                               " bytes, it has " + Number(file.data.size()));
    }
    entries->clear();
    for (std::size_t i = 0; i < count; i++) {
        const std::uint8_t* p = file.data.data() + 2 + i * 8;
        entries->push_back({Get32(p), Get32(p + 4)});
    }
    return true;
}

HelpBytes EncodeHelpMap(const std::vector<HelpMapEntry>& entries) {
    HelpBytes out;
    Put16(&out, static_cast<std::uint32_t>(entries.size()));
    for (const HelpMapEntry& entry : entries) {
        Put32(&out, entry.number);
        Put32(&out, entry.topicOffset);
    }
    return out;
}

bool ParseHelpMapText(std::string_view text, std::vector<HelpMapLine>* lines, std::string* error) {
    std::vector<HelpMapLine> result;
    std::map<std::uint32_t, int> lineOf;  // number -> the line that maps it
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        lineNumber++;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        const std::string where = "map line " + Number(static_cast<std::uint64_t>(lineNumber));
        std::size_t pos = 0;
        while (pos < line.size() && IsBlank(line[pos])) pos++;
        if (pos == line.size() || line[pos] == '#') continue;

        std::uint64_t number = 0;
        const std::size_t digits = pos;
        while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
            number = number * 10 + static_cast<std::uint64_t>(line[pos] - '0');
            if (number > 0xFFFFFFFFu) {
                return Fail(error, where + ": number larger than 4294967295");
            }
            pos++;
        }
        if (pos == digits || pos == line.size() || !IsBlank(line[pos])) {
            return Fail(error, where + ": expected \"NUMBER TOPICNAME\", got \"" +
                                   std::string(line) + "\"");
        }
        while (pos < line.size() && IsBlank(line[pos])) pos++;
        const std::size_t nameStart = pos;
        while (pos < line.size() && !IsBlank(line[pos])) {
            const unsigned char c = static_cast<unsigned char>(line[pos]);
            if (c < 0x20 || c == 0x7F) {
                return Fail(error, where + ": control character in the topic name");
            }
            pos++;
        }
        std::string topic(line.substr(nameStart, pos - nameStart));
        while (pos < line.size() && IsBlank(line[pos])) pos++;
        if (topic.empty() || pos != line.size()) {
            return Fail(error, where + ": expected \"NUMBER TOPICNAME\", got \"" +
                                   std::string(line) + "\"");
        }
        const auto earlier = lineOf.emplace(static_cast<std::uint32_t>(number), lineNumber);
        if (!earlier.second) {
            return Fail(error, where + ": number " + Number(number) +
                                   " is already mapped on line " +
                                   Number(static_cast<std::uint64_t>(earlier.first->second)));
        }
        result.push_back({static_cast<std::uint32_t>(number), std::move(topic), lineNumber});
    }
    if (result.size() > HelpMapMaxEntries) {
        return Fail(error, "map of " + Number(result.size()) + " entries, at most " +
                               Number(HelpMapMaxEntries) + " fit");
    }
    *lines = std::move(result);
    return true;
}

bool ApplyHelpMap(const HelpBytes& in, std::string_view mapText, HelpBytes* out,
                  std::string* error) {
    HelpFile help;
    if (!ReadHelpFile(in, &help, error)) return false;
    std::vector<HelpMapLine> lines;
    if (!ParseHelpMapText(mapText, &lines, error)) return false;

    std::vector<HelpContextEntry> context;
    HelpContextOrder order = HelpContextOrder::Signed;
    const HelpInternalFile* contextFile = FindHelpFile(help, HelpContextFileName);
    if (contextFile != nullptr && !ReadHelpContext(*contextFile, &context, &order, error)) {
        return false;
    }
    if (contextFile == nullptr && !lines.empty()) {
        return Fail(error, std::string("no ") + HelpContextFileName + " to find topics in");
    }

    std::vector<HelpMapEntry> map;
    for (const HelpMapLine& line : lines) {
        const std::uint32_t hash = HelpTopicHash(line.topic);
        const auto found =
            std::find_if(context.begin(), context.end(),
                         [hash](const HelpContextEntry& entry) { return entry.hash == hash; });
        if (found == context.end()) {
            return Fail(error, "map line " + Number(static_cast<std::uint64_t>(line.line)) +
                                   ": topic \"" + line.topic + "\" (hash " + Hex32(hash) +
                                   ") is not in " + HelpContextFileName);
        }
        map.push_back({line.number, found->topicOffset});
    }
    std::sort(map.begin(), map.end(),
              [](const HelpMapEntry& a, const HelpMapEntry& b) { return a.number < b.number; });

    HelpFile expected = help;
    HelpInternalFile* mapFile = nullptr;
    for (HelpInternalFile& file : expected.files) {
        if (file.name == HelpMapFileName) mapFile = &file;
        // Readers search |CONTEXT comparing hashes as signed numbers: a tree
        // in unsigned order hides every topic whose hash has the top bit set.
        if (file.name == HelpContextFileName && order != HelpContextOrder::Signed &&
            !SortHelpContext(*contextFile, &file.data, error)) {
            return false;
        }
    }
    if (mapFile == nullptr) {
        HelpInternalFile added;
        added.name = HelpMapFileName;
        added.flags = HelpNewFileFlags;
        expected.files.push_back(std::move(added));
        mapFile = &expected.files.back();
    }
    mapFile->data = EncodeHelpMap(map);
    std::sort(expected.files.begin(), expected.files.end(),
              [](const HelpInternalFile& a, const HelpInternalFile& b) { return a.name < b.name; });

    HelpBytes image;
    if (!WriteHelpFile(expected, &image, error)) return false;

    // Read the result back as any reader would and hold it against the intent.
    HelpFile check;
    std::string why;
    if (!ReadHelpFile(image, &check, &why)) {
        return Fail(error, "internal error: the rewritten file does not read back: " + why);
    }
    if (!SameFiles(check, expected)) {
        return Fail(error, "internal error: the rewritten file holds other internal files");
    }
    if (contextFile != nullptr) {
        // The same topics, in the order readers search, each found by a
        // reader's search.
        const HelpInternalFile* contextBack = FindHelpFile(check, HelpContextFileName);
        std::vector<HelpContextEntry> entriesBack;
        HelpContextOrder orderBack;
        if (contextBack == nullptr ||
            !ReadHelpContext(*contextBack, &entriesBack, &orderBack, &why)) {
            return Fail(error, "internal error: the rewritten |CONTEXT does not read back: " + why);
        }
        auto byHash = [](const HelpContextEntry& a, const HelpContextEntry& b) {
            return a.hash < b.hash;
        };
        std::vector<HelpContextEntry> before = context;
        std::sort(before.begin(), before.end(), byHash);
        std::sort(entriesBack.begin(), entriesBack.end(), byHash);
        const bool same =
            std::equal(before.begin(), before.end(), entriesBack.begin(), entriesBack.end(),
                       [](const HelpContextEntry& a, const HelpContextEntry& b) {
                           return a.hash == b.hash && a.topicOffset == b.topicOffset;
                       });
        if (!same || orderBack != HelpContextOrder::Signed) {
            return Fail(error,
                        "internal error: the rewritten |CONTEXT holds other topics or "
                        "is not in signed order");
        }
        for (const HelpContextEntry& entry : context) {
            std::uint32_t offset = 0;
            if (!LookUpHelpContext(*contextBack, entry.hash, &offset) ||
                offset != entry.topicOffset) {
                return Fail(error, "internal error: a search of the rewritten |CONTEXT misses " +
                                       Hex32(entry.hash));
            }
        }
    }
    std::vector<HelpMapEntry> mapBack;
    const HelpInternalFile* mapBackFile = FindHelpFile(check, HelpMapFileName);
    if (mapBackFile == nullptr || !ReadHelpMap(*mapBackFile, &mapBack, &why) ||
        mapBack.size() != map.size() ||
        !std::equal(mapBack.begin(), mapBack.end(), map.begin(),
                    [](const HelpMapEntry& a, const HelpMapEntry& b) {
                        return a.number == b.number && a.topicOffset == b.topicOffset;
                    })) {
        return Fail(error, "internal error: the rewritten map does not read back");
    }
    *out = std::move(image);
    return true;
}

bool DumpHelpFile(const HelpBytes& image, std::string* text, std::string* error) {
    HelpFile help;
    if (!ReadHelpFile(image, &help, error)) return false;
    std::string out;
    for (const HelpInternalFile& file : help.files) {
        out += "file " + file.name + " " + Number(file.data.size()) + "\n";
    }
    std::vector<HelpContextEntry> context;
    if (const HelpInternalFile* file = FindHelpFile(help, HelpContextFileName)) {
        HelpContextOrder order;
        if (!ReadHelpContext(*file, &context, &order, error)) return false;
        out += std::string("context-order ") +
               (order == HelpContextOrder::Signed ? "signed" : "unsigned") + "\n";
    }
    for (const HelpContextEntry& entry : context) {
        out += "context " + Hex32(entry.hash) + " " + Hex32(entry.topicOffset) + "\n";
    }
    if (const HelpInternalFile* file = FindHelpFile(help, HelpMapFileName)) {
        std::vector<HelpMapEntry> map;
        if (!ReadHelpMap(*file, &map, error)) return false;
        for (const HelpMapEntry& entry : map) {
            const bool topic = std::any_of(
                context.begin(), context.end(),
                [&entry](const HelpContextEntry& c) { return c.topicOffset == entry.topicOffset; });
            out += "map " + Number(entry.number) + " " + Hex32(entry.topicOffset) +
                   (topic ? " topic\n" : " no-topic\n");
        }
    }
    *text = std::move(out);
    return true;
}
