// WinHelp (.HLP) files as the context-number map tool sees them: the file
// header, the internal directory and the internal files it names, the
// |CONTEXT B-tree (hash of a topic name to topic offset) and the |CTXOMAP
// map (context number to topic offset). Reading checks every offset, size and
// B-tree page before it is used, so a malformed file gives an error text and
// never a read outside the image. Writing lays a file out afresh: header,
// every internal file in directory order, then a new directory B-tree; a
// |CONTEXT that readers cannot search (hashes in unsigned order) is rebuilt
// in the signed order they search in.
// Portable: bytes are read and written little-endian one by one, and nothing
// here touches the file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using HelpBytes = std::vector<std::uint8_t>;

// Fixed numbers of the format.
constexpr std::uint32_t HelpFileMagic = 0x00035F3F;
constexpr std::uint16_t HelpBTreeMagic = 0x293B;
constexpr std::size_t HelpFileHeaderSize = 16;     // magic, directory, free list, size
constexpr std::size_t HelpInternalHeaderSize = 9;  // reserved, used, flags
constexpr std::size_t HelpBTreeHeaderSize = 38;
constexpr std::uint32_t HelpNoFreeList = 0xFFFFFFFF;

// The directory B-tree as WinHelp compilers write it: 1 KB pages of
// (NUL-terminated name, 32-bit offset), flagged as a directory.
constexpr std::uint16_t HelpDirectoryPageSize = 0x0400;
constexpr std::uint16_t HelpDirectoryTreeFlags = 0x0402;
constexpr char HelpDirectoryTreeFormat[] = "z4";

constexpr char HelpContextFileName[] = "|CONTEXT";
constexpr char HelpMapFileName[] = "|CTXOMAP";
// Flags byte of a |CTXOMAP that the input lacked ("normally 4").
constexpr std::uint8_t HelpNewFileFlags = 4;
// The map's entry count is 16 bits wide.
constexpr std::size_t HelpMapMaxEntries = 0xFFFF;

// One internal file: its name in the directory, the flags byte of its header
// and its content (UsedSpace bytes). Reserved space past the content holds
// nothing and is not kept.
struct HelpInternalFile {
    std::string name;
    std::uint8_t flags = 0;
    HelpBytes data;
};

// A whole help file: the internal files in directory order and the flags byte
// of the directory's own header.
struct HelpFile {
    std::uint8_t directoryFlags = 0;
    std::vector<HelpInternalFile> files;
};

// A leaf entry of |CONTEXT.
struct HelpContextEntry {
    std::uint32_t hash;
    std::uint32_t topicOffset;
};

// The order of the hashes in a |CONTEXT B-tree. WinHelp readers (Microsoft's
// and Wine's) search it comparing hashes as signed 32-bit numbers, so only a
// tree in signed order finds every topic. Halibut sorts them as unsigned
// numbers where its `long` is 64 bits wide, which hides from a reader every
// topic whose hash has the top bit set (links, the Up button, "-i name").
enum class HelpContextOrder {
    Signed,    // also when no two hashes lie on either side of 0x80000000
    Unsigned,  // and not signed
};

// An entry of |CTXOMAP.
struct HelpMapEntry {
    std::uint32_t number;
    std::uint32_t topicOffset;
};

// A line of a map text: "NUMBER TOPICNAME".
struct HelpMapLine {
    std::uint32_t number;
    std::string topic;
    int line;  // 1-based, for messages
};

// The hash under which a topic name is keyed in |CONTEXT (43 times the hash
// so far plus a signed value per byte, modulo 2^32; the empty name hashes
// to 1).
std::uint32_t HelpTopicHash(std::string_view name);

// Reads a whole help file image. On failure returns false and says why.
bool ReadHelpFile(const HelpBytes& image, HelpFile* help, std::string* error);

// Lays out a help file: header, the files sorted by name, the directory.
// Fails on a duplicate or unusable name or a file too large for the format.
bool WriteHelpFile(const HelpFile& help, HelpBytes* image, std::string* error);

// The internal file of that name, or nullptr.
const HelpInternalFile* FindHelpFile(const HelpFile& help, std::string_view name);

// The leaf entries of a |CONTEXT B-tree, in stored order, and their order;
// its pages are checked, and a hash present twice is an error. The hashes and
// index keys must be ordered either way, as signed or as unsigned numbers;
// anything else is an error too.
bool ReadHelpContext(const HelpInternalFile& file, std::vector<HelpContextEntry>* entries,
                     HelpContextOrder* order, std::string* error);

// The content of a |CONTEXT holding the entries of `file` in signed order: a
// file in signed order already is given back unchanged, any other is rebuilt
// (leaves filled in order, index pages above them up to the root, as Halibut
// lays B-trees out) with the page size, flags and structure text of its
// header. Fails on a malformed file.
bool SortHelpContext(const HelpInternalFile& file, HelpBytes* data, std::string* error);

// Looks a hash up in a |CONTEXT as a WinHelp reader does: from the root down
// to the child after the last index key not above it, then through that leaf
// until a key above it, comparing as signed numbers. True with the topic
// offset when found; false when not found, or for a tree it cannot walk.
bool LookUpHelpContext(const HelpInternalFile& file, std::uint32_t hash,
                       std::uint32_t* topicOffset);

// The entries of a |CTXOMAP, in stored order; its size must match its count.
bool ReadHelpMap(const HelpInternalFile& file, std::vector<HelpMapEntry>* entries,
                 std::string* error);

// The content of a |CTXOMAP holding these entries, in this order.
HelpBytes EncodeHelpMap(const std::vector<HelpMapEntry>& entries);

// Reads a map text: lines "NUMBER TOPICNAME" (a decimal number up to
// 4294967295, blanks, a name without blanks); empty lines and lines whose
// first non-blank character is "#" are skipped, a CR before the LF is
// dropped. A number given twice is an error.
bool ParseHelpMapText(std::string_view text, std::vector<HelpMapLine>* lines, std::string* error);

// The whole job: reads a help file, finds each mapped topic in |CONTEXT by
// the hash of its name, writes a |CTXOMAP with the entries sorted by number,
// puts |CONTEXT into signed order (SortHelpContext) and rebuilds the file
// around them; every other internal file is kept as it is. The result is
// read back and compared with what was meant before it is handed out, and
// every topic of |CONTEXT must be found by a reader's search.
bool ApplyHelpMap(const HelpBytes& in, std::string_view mapText, HelpBytes* out,
                  std::string* error);

// The report of --dump: "file NAME SIZE" per internal file, with a |CONTEXT
// "context-order signed|unsigned" and "context HASH OFFSET" per entry in
// stored order, and "map NUMBER OFFSET topic|no-topic" per |CTXOMAP entry,
// where "topic" means |CONTEXT has a topic at that offset.
bool DumpHelpFile(const HelpBytes& image, std::string* text, std::string* error);
