# Round trip of zarl-helpmap on help files Halibut really makes:
#
#   cmake -DZARL_HELPMAP=<zarl-helpmap> -DZARL_HALIBUT=<halibut>
#         -DZARL_WORK_DIR=<scratch folder> -P roundtrip.cmake
#
# - sample.but through Halibut, then sample.map through the tool: --dump shows
#   each number at the offset that |CONTEXT gives the hash of its topic name
#   (the hash is computed here from the public formula, independently of the
#   tool), sorted by number, and every other internal file as large as before;
# - |CONTEXT comes out holding the same (hash, offset) pairs as Halibut's, in
#   signed order (read here from the pages themselves), and a help viewer's
#   search, done here as Wine's winhlp32 does it on the bytes of the file,
#   finds every topic; in Halibut's own file (unsigned order where its `long`
#   has 64 bits) that search misses the topics whose hash has the top bit set;
# - every internal file but |CONTEXT and |CTXOMAP (read here from the file's
#   own directory) is byte for byte Halibut's; with an empty map |CTXOMAP is
#   too, and where Halibut's |CONTEXT is in signed order already, the whole
#   file is;
# - the tool on its own output, to another file and onto itself, gives the
#   same bytes again;
# - a truncated copy, a copy with a broken magic number and bad maps are
#   refused with exit status 1, a message, and no output file;
# - a generated document of 300 topics, half of their hashes with the top bit
#   set, whose |CONTEXT needs more than one B-tree level, maps every topic and
#   a viewer finds each one.
cmake_minimum_required(VERSION 3.25)

foreach(var ZARL_HELPMAP ZARL_HALIBUT ZARL_WORK_DIR)
    if(NOT ${var})
        message(FATAL_ERROR "roundtrip.cmake: ${var} is not set")
    endif()
endforeach()
set(here ${CMAKE_CURRENT_LIST_DIR})
set(work ${ZARL_WORK_DIR})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

set(failures 0)
macro(fail text)
    message(SEND_ERROR "${text}")
    math(EXPR failures "${failures} + 1")
    if(failures GREATER 20)
        message(FATAL_ERROR "helpmap round trip: too many failures, stopping")
    endif()
endmacro()

# The hash of a topic name: 43 times the hash so far plus the value of each
# character, modulo 2^32; letters in either case count 17 to 42, "1" to "9"
# count 1 to 9, "0" 10, "." 12 and "_" 13 (the names used here need no more).
function(topic_hash name out)
    string(LENGTH "${name}" length)
    if(length EQUAL 0)
        set(${out} 1 PARENT_SCOPE)
        return()
    endif()
    set(hash 0)
    math(EXPR last "${length} - 1")
    foreach(i RANGE ${last})
        string(SUBSTRING "${name}" ${i} 1 c)
        string(TOLOWER "${c}" c)
        string(FIND "abcdefghijklmnopqrstuvwxyz" "${c}" letter)
        string(FIND "123456789" "${c}" digit)
        if(letter GREATER -1)
            math(EXPR value "${letter} + 17")
        elseif(digit GREATER -1)
            math(EXPR value "${digit} + 1")
        elseif(c STREQUAL "0")
            set(value 10)
        elseif(c STREQUAL ".")
            set(value 12)
        elseif(c STREQUAL "_")
            set(value 13)
        else()
            message(FATAL_ERROR "topic_hash: no value here for \"${c}\" in \"${name}\"")
        endif()
        math(EXPR hash "(${hash} * 43 + ${value}) % 4294967296")
    endforeach()
    set(${out} ${hash} PARENT_SCOPE)
endfunction()

# A 32-bit hash as the signed number help viewers compare it as.
function(signed_hash hash out)
    if(hash GREATER_EQUAL 2147483648)
        math(EXPR hash "${hash} - 4294967296")
    endif()
    set(${out} ${hash} PARENT_SCOPE)
endfunction()

# The little-endian number of 1, 2 or 4 bytes at byte <at> of a hex dump.
function(hex_number hex at bytes out)
    math(EXPR pos "(${at}) * 2")
    math(EXPR length "${bytes} * 2")
    string(SUBSTRING "${hex}" ${pos} ${length} digits)
    string(LENGTH "${digits}" got)
    if(NOT got EQUAL length)
        message(FATAL_ERROR "hex_number: ${bytes} bytes at ${at} lie past the end")
    endif()
    # Zeros above the bytes read, then the bytes in reverse.
    string(SUBSTRING "${digits}00000000" 0 8 digits)
    string(REGEX REPLACE "^(..)(..)(..)(..)$" "0x\\4\\3\\2\\1" digits "${digits}")
    math(EXPR value "${digits}")
    set(${out} ${value} PARENT_SCOPE)
endfunction()

# Reads the internal files of a help file from its own directory (one leaf
# page, as Halibut writes it for a few files): <prefix>_names (in directory
# order) and <prefix>_hex<id> (the content in hex, <id> as in parse_dump).
function(read_internal_files path prefix)
    file(READ ${path} hex HEX)
    hex_number("${hex}" 4 4 directory)
    math(EXPR tree "${directory} + 9")
    hex_number("${hex}" ${tree}+32 2 levels)
    if(NOT levels EQUAL 1)
        message(FATAL_ERROR "read_internal_files: ${path} has a directory of ${levels} levels")
    endif()
    math(EXPR leaf "${tree} + 38")
    hex_number("${hex}" ${leaf}+2 2 count)
    math(EXPR pos "${leaf} + 8")
    set(names "")
    foreach(i RANGE 1 ${count})
        set(name "")
        while(TRUE)
            hex_number("${hex}" ${pos} 1 byte)
            math(EXPR pos "${pos} + 1")
            if(byte EQUAL 0)
                break()
            endif()
            string(ASCII ${byte} c)
            string(APPEND name "${c}")
        endwhile()
        hex_number("${hex}" ${pos} 4 offset)
        math(EXPR pos "${pos} + 4")
        hex_number("${hex}" ${offset}+4 4 used)
        math(EXPR start "(${offset} + 9) * 2")
        math(EXPR length "${used} * 2")
        string(SUBSTRING "${hex}" ${start} ${length} content)
        list(APPEND names "${name}")
        string(MAKE_C_IDENTIFIER "${name}" id)
        set(${prefix}_hex${id} "${content}" PARENT_SCOPE)
    endforeach()
    set(${prefix}_names "${names}" PARENT_SCOPE)
endfunction()

# The search of a help viewer (Wine's winhlp32: HLPFILE_BPTreeSearch with
# comp_PageByHash) in the hex of a |CONTEXT: from the root down to the child
# after the last index key not above the hash, then along that leaf until a
# key above it, hashes compared as signed numbers. Sets <out> to the topic
# offset, or to "" where the viewer says "Page of hash ... not found".
function(viewer_finds tree hash out)
    signed_hash(${hash} sought)
    hex_number("${tree}" 4 2 page_size)
    hex_number("${tree}" 26 2 page)
    hex_number("${tree}" 32 2 level)
    set(${out} "" PARENT_SCOPE)
    while(level GREATER 1)
        math(EXPR p "38 + ${page} * ${page_size}")
        hex_number("${tree}" ${p}+2 2 count)
        hex_number("${tree}" ${p}+4 2 page)
        if(count GREATER 0)
            math(EXPR last "${count} - 1")
            foreach(i RANGE ${last})
                hex_number("${tree}" ${p}+6+6*${i} 4 key)
                signed_hash(${key} key)
                if(key GREATER sought)
                    break()
                endif()
                hex_number("${tree}" ${p}+6+6*${i}+4 2 page)
            endforeach()
        endif()
        math(EXPR level "${level} - 1")
    endwhile()
    math(EXPR p "38 + ${page} * ${page_size}")
    hex_number("${tree}" ${p}+2 2 count)
    if(count EQUAL 0)
        return()
    endif()
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
        hex_number("${tree}" ${p}+8+8*${i} 4 key)
        if(key EQUAL hash)
            hex_number("${tree}" ${p}+8+8*${i}+4 4 offset)
            set(${out} ${offset} PARENT_SCOPE)
            return()
        endif()
        signed_hash(${key} key)
        if(key GREATER sought)
            return()
        endif()
    endforeach()
endfunction()

# Runs the tool; sets <prefix>_rc, <prefix>_out and <prefix>_err.
function(run_tool prefix)
    execute_process(COMMAND ${ZARL_HELPMAP} ${ARGN}
        WORKING_DIRECTORY ${work}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    set(${prefix}_rc "${rc}" PARENT_SCOPE)
    set(${prefix}_out "${out}" PARENT_SCOPE)
    set(${prefix}_err "${err}" PARENT_SCOPE)
endfunction()

function(run_halibut source output)
    execute_process(COMMAND ${ZARL_HALIBUT} --winhelp=${output} ${source}
        WORKING_DIRECTORY ${work} RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT EXISTS ${work}/${output})
        message(FATAL_ERROR "halibut failed on ${source} (${rc}): ${err}")
    endif()
endfunction()

# Parses a --dump text into <prefix>_files (names in order), <prefix>_size<id>
# (<id> the name made an identifier: "_CTXOMAP" for "|CTXOMAP"),
# <prefix>_order (of |CONTEXT: signed or unsigned), <prefix>_context (hashes
# in stored order, decimal), <prefix>_ctx_<hash> (offset, decimal),
# <prefix>_numbers (map numbers in order), <prefix>_offset_<number> and
# <prefix>_status_<number>.
macro(parse_dump prefix text)
    set(${prefix}_files "")
    set(${prefix}_order "")
    set(${prefix}_context "")
    set(${prefix}_numbers "")
    string(REPLACE "\n" ";" _lines "${text}")
    foreach(_line IN LISTS _lines)
        if(_line MATCHES "^file ([^ ]+) ([0-9]+)$")
            list(APPEND ${prefix}_files "${CMAKE_MATCH_1}")
            string(MAKE_C_IDENTIFIER "${CMAKE_MATCH_1}" _id)
            set(${prefix}_size${_id} ${CMAKE_MATCH_2})
        elseif(_line MATCHES "^context-order (signed|unsigned)$")
            set(${prefix}_order ${CMAKE_MATCH_1})
        elseif(_line MATCHES "^context (0x[0-9A-F]+) (0x[0-9A-F]+)$")
            math(EXPR _hash "${CMAKE_MATCH_1}")
            math(EXPR _offset "${CMAKE_MATCH_2}")
            list(APPEND ${prefix}_context ${_hash})
            set(${prefix}_ctx_${_hash} ${_offset})
        elseif(_line MATCHES "^map ([0-9]+) (0x[0-9A-F]+) (topic|no-topic)$")
            math(EXPR _offset "${CMAKE_MATCH_2}")
            list(APPEND ${prefix}_numbers ${CMAKE_MATCH_1})
            set(${prefix}_offset_${CMAKE_MATCH_1} ${_offset})
            set(${prefix}_status_${CMAKE_MATCH_1} ${CMAKE_MATCH_3})
        elseif(NOT _line STREQUAL "")
            fail("unexpected --dump line: \"${_line}\"")
        endif()
    endforeach()
endmacro()

function(dump file prefix)
    run_tool(d --dump ${file})
    if(NOT d_rc EQUAL 0)
        message(FATAL_ERROR "--dump ${file} failed (${d_rc}): ${d_err}")
    endif()
    set(${prefix}_text "${d_out}" PARENT_SCOPE)
endfunction()

# Reads a map file into <prefix>_numbers and <prefix>_topic_<number>.
macro(read_map prefix file)
    set(${prefix}_numbers "")
    file(STRINGS ${file} _lines)
    foreach(_line IN LISTS _lines)
        if(_line MATCHES "^([0-9]+)[ \t]+([^ \t]+)$")
            list(APPEND ${prefix}_numbers ${CMAKE_MATCH_1})
            set(${prefix}_topic_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
        endif()
    endforeach()
endmacro()

# Checks the dump of a mapped file against the dump of its source and the map.
macro(check_mapped what before after mapprefix)
    if(NOT "${${before}_files}" STREQUAL "${${after}_files}")
        fail("${what}: internal files ${${after}_files}, before ${${before}_files}")
    endif()
    foreach(_name IN LISTS ${before}_files)
        string(MAKE_C_IDENTIFIER "${_name}" _id)
        if(NOT _name STREQUAL "|CTXOMAP"
                AND NOT "${${before}_size${_id}}" STREQUAL "${${after}_size${_id}}")
            fail("${what}: ${_name} is ${${after}_size${_id}} bytes, was ${${before}_size${_id}}")
        endif()
    endforeach()
    check_context("${what}" ${before} ${after})
    list(LENGTH ${mapprefix}_numbers _count)
    math(EXPR _size "2 + 8 * ${_count}")
    if(NOT "${${after}_size_CTXOMAP}" STREQUAL "${_size}")
        fail("${what}: |CTXOMAP is ${${after}_size_CTXOMAP} bytes, ${_size} expected")
    endif()
    set(_sorted ${${mapprefix}_numbers})
    list(SORT _sorted COMPARE NATURAL)
    if(NOT "${${after}_numbers}" STREQUAL "${_sorted}")
        fail("${what}: map numbers ${${after}_numbers}, expected ${_sorted}")
    endif()
    foreach(_number IN LISTS ${mapprefix}_numbers)
        topic_hash("${${mapprefix}_topic_${_number}}" _hash)
        set(_expected "${${before}_ctx_${_hash}}")
        if(_expected STREQUAL "")
            fail("${what}: no |CONTEXT entry for ${${mapprefix}_topic_${_number}} (hash ${_hash})")
        elseif(NOT "${${after}_offset_${_number}}" STREQUAL "${_expected}")
            fail("${what}: ${_number} maps to ${${after}_offset_${_number}}, "
                 "${${mapprefix}_topic_${_number}} is at ${_expected}")
        endif()
        if(NOT "${${after}_status_${_number}}" STREQUAL "topic")
            fail("${what}: ${_number} is \"${${after}_status_${_number}}\"")
        endif()
    endforeach()
endmacro()

# Checks the |CONTEXT of a rewritten file (dump <after>) against Halibut's
# (dump <before>): the same (hash, offset) pairs, stored in signed order, and
# the dump saying so.
macro(check_context what before after)
    set(_before ${${before}_context})
    set(_after ${${after}_context})
    list(SORT _before COMPARE NATURAL)
    list(SORT _after COMPARE NATURAL)
    if(NOT "${_before}" STREQUAL "${_after}")
        fail("${what}: |CONTEXT holds hashes ${_after}, Halibut's ${_before}")
    endif()
    foreach(_hash IN LISTS _before)
        if(NOT "${${before}_ctx_${_hash}}" STREQUAL "${${after}_ctx_${_hash}}")
            fail("${what}: |CONTEXT gives ${_hash} the offset ${${after}_ctx_${_hash}}, "
                 "Halibut ${${before}_ctx_${_hash}}")
        endif()
    endforeach()
    set(_previous "")
    foreach(_hash IN LISTS ${after}_context)
        signed_hash(${_hash} _value)
        if(NOT _previous STREQUAL "" AND NOT _value GREATER _previous)
            fail("${what}: |CONTEXT stores ${_hash} after a hash not below it, as signed numbers")
        endif()
        set(_previous ${_value})
    endforeach()
    if(NOT "${${after}_order}" STREQUAL "signed")
        fail("${what}: --dump gives the order of |CONTEXT as \"${${after}_order}\"")
    endif()
endmacro()

# Checks that every internal file of <after> but those named is byte for byte
# the one of <before>, both read from the files' own directories.
function(check_same_files what before after)
    read_internal_files(${work}/${before} b)
    read_internal_files(${work}/${after} a)
    if(NOT "${b_names}" STREQUAL "${a_names}")
        fail("${what}: internal files ${a_names}, ${before} has ${b_names}")
    endif()
    foreach(name IN LISTS b_names)
        string(MAKE_C_IDENTIFIER "${name}" id)
        if(NOT name IN_LIST ARGN AND NOT "${b_hex${id}}" STREQUAL "${a_hex${id}}")
            fail("${what}: ${name} differs from the one of ${before}")
        endif()
    endforeach()
    set(failures ${failures} PARENT_SCOPE)
endfunction()

# A viewer's search in the |CONTEXT of <file> for every hash of the dump
# <prefix>. Sets <out> to the number of hashes it misses; a hash found must
# be at the offset the dump gives.
function(count_viewer_misses what file prefix out)
    read_internal_files(${work}/${file} f)
    set(missed 0)
    foreach(hash IN LISTS ${prefix}_context)
        viewer_finds("${f_hex_CONTEXT}" ${hash} offset)
        if(offset STREQUAL "")
            math(EXPR missed "${missed} + 1")
        elseif(NOT offset EQUAL ${prefix}_ctx_${hash})
            fail("${what}: a viewer finds ${hash} at ${offset}, |CONTEXT gives ${${prefix}_ctx_${hash}}")
        endif()
    endforeach()
    set(${out} ${missed} PARENT_SCOPE)
    set(failures ${failures} PARENT_SCOPE)
endfunction()

# Expects the tool to refuse: exit status 1, a message naming <text>, and no
# output file (nor its temporary) left behind.
function(expect_refused what text)
    file(REMOVE ${work}/REFUSED.HLP ${work}/REFUSED.HLP.tmp)
    run_tool(r ${ARGN})
    if(NOT r_rc EQUAL 1)
        fail("${what}: exit status ${r_rc}, 1 expected")
    endif()
    if(NOT r_err MATCHES "${text}")
        fail("${what}: message \"${r_err}\" does not say \"${text}\"")
    endif()
    if(EXISTS ${work}/REFUSED.HLP OR EXISTS ${work}/REFUSED.HLP.tmp)
        fail("${what}: an output file was left behind")
    endif()
    set(failures ${failures} PARENT_SCOPE)
endfunction()

# ---- The sample document

run_halibut(${here}/sample.but SAMPLE.HLP)
dump(SAMPLE.HLP source)
parse_dump(source "${source_text}")
if(source_numbers)
    fail("Halibut's own map is not empty: ${source_numbers}")
endif()

# The sample must show the fault: topics on both sides of the top bit.
set(high 0)
set(low 0)
foreach(hash IN LISTS source_context)
    if(hash GREATER_EQUAL 2147483648)
        math(EXPR high "${high} + 1")
    else()
        math(EXPR low "${low} + 1")
    endif()
endforeach()
if(high EQUAL 0 OR low EQUAL 0)
    fail("sample: ${high} topic hashes with the top bit set, ${low} without; both are needed")
endif()
# Halibut's own file: in unsigned order a viewer misses topics, in signed
# order (where Halibut's `long` has 32 bits) it must find them all.
count_viewer_misses("Halibut's sample" SAMPLE.HLP source missed)
if(source_order STREQUAL "unsigned" AND missed EQUAL 0)
    fail("Halibut's sample: |CONTEXT in unsigned order, yet a viewer finds every topic")
elseif(source_order STREQUAL "signed" AND NOT missed EQUAL 0)
    fail("Halibut's sample: |CONTEXT in signed order, yet a viewer misses ${missed} topics")
elseif(NOT source_order MATCHES "^(signed|unsigned)$")
    fail("Halibut's sample: --dump gives the order of |CONTEXT as \"${source_order}\"")
endif()
message(STATUS "Halibut's sample: |CONTEXT in ${source_order} order, "
    "${missed} of its topics lost to a viewer")

file(WRITE ${work}/empty.map "# no entries\n")
run_tool(e empty.map SAMPLE.HLP EMPTY.HLP)
if(NOT e_rc EQUAL 0)
    fail("empty map: exit status ${e_rc}: ${e_err}")
endif()
dump(EMPTY.HLP empty)
parse_dump(empty "${empty_text}")
check_context("empty map" source empty)
check_same_files("empty map" SAMPLE.HLP EMPTY.HLP "|CONTEXT")
count_viewer_misses("empty map" EMPTY.HLP empty missed)
if(NOT missed EQUAL 0)
    fail("empty map: a viewer misses ${missed} topics")
endif()
if(source_order STREQUAL "signed")
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files SAMPLE.HLP EMPTY.HLP
        WORKING_DIRECTORY ${work} RESULT_VARIABLE same)
    if(NOT same EQUAL 0)
        fail("an empty map does not give back Halibut's file, in signed order, byte for byte")
    endif()
endif()

read_map(sample ${here}/sample.map)
run_tool(m ${here}/sample.map SAMPLE.HLP MAPPED.HLP)
if(NOT m_rc EQUAL 0)
    message(FATAL_ERROR "mapping SAMPLE.HLP failed (${m_rc}): ${m_err}")
endif()
dump(MAPPED.HLP mapped)
parse_dump(mapped "${mapped_text}")
check_mapped("sample" source mapped sample)
check_same_files("sample" SAMPLE.HLP MAPPED.HLP "|CONTEXT" "|CTXOMAP")
count_viewer_misses("sample" MAPPED.HLP mapped missed)
if(NOT missed EQUAL 0)
    fail("sample: a viewer misses ${missed} topics")
endif()
# Every name of the map, hashed here, found as a viewer opens it by name.
read_internal_files(${work}/MAPPED.HLP m)
foreach(number IN LISTS sample_numbers)
    topic_hash("${sample_topic_${number}}" hash)
    viewer_finds("${m_hex_CONTEXT}" ${hash} offset)
    if(NOT offset STREQUAL "${source_ctx_${hash}}")
        fail("sample: a viewer finds ${sample_topic_${number}} at \"${offset}\", "
             "Halibut put it at ${source_ctx_${hash}}")
    endif()
endforeach()

# The tool on its own output: a new file, then in place.
run_tool(a ${here}/sample.map MAPPED.HLP AGAIN.HLP)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files MAPPED.HLP AGAIN.HLP
    WORKING_DIRECTORY ${work} RESULT_VARIABLE same)
if(NOT a_rc EQUAL 0 OR NOT same EQUAL 0)
    fail("the tool on its own output: exit status ${a_rc}, files differ: ${same}")
endif()
file(COPY_FILE ${work}/MAPPED.HLP ${work}/INPLACE.HLP)
run_tool(i ${here}/sample.map INPLACE.HLP INPLACE.HLP)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files MAPPED.HLP INPLACE.HLP
    WORKING_DIRECTORY ${work} RESULT_VARIABLE same)
if(NOT i_rc EQUAL 0 OR NOT same EQUAL 0 OR EXISTS ${work}/INPLACE.HLP.tmp)
    fail("in place: exit status ${i_rc}, differs from the first output: ${same}")
endif()

# ---- Refusals

find_program(HEAD head REQUIRED)
find_program(DD dd REQUIRED)
file(SIZE ${work}/SAMPLE.HLP size)
math(EXPR one_short "${size} - 1")
math(EXPR half "${size} / 2")
foreach(cut ${one_short} ${half} 10)
    execute_process(COMMAND ${HEAD} -c ${cut} SAMPLE.HLP
        OUTPUT_FILE ${work}/CUT${cut}.HLP WORKING_DIRECTORY ${work})
    expect_refused("cut to ${cut} bytes" "truncated" ${here}/sample.map CUT${cut}.HLP REFUSED.HLP)
    expect_refused("--dump of a copy cut to ${cut} bytes" "truncated" --dump CUT${cut}.HLP)
endforeach()
file(COPY_FILE ${work}/SAMPLE.HLP ${work}/BADMAGIC.HLP)
execute_process(COMMAND ${DD} if=/dev/zero of=BADMAGIC.HLP bs=1 count=1 conv=notrunc
    WORKING_DIRECTORY ${work} RESULT_VARIABLE rc ERROR_QUIET)
expect_refused("broken magic" "bad magic" ${here}/sample.map BADMAGIC.HLP REFUSED.HLP)
expect_refused("--dump of a broken magic" "bad magic" --dump BADMAGIC.HLP)

file(WRITE ${work}/unknown.map "1 Top\n2 settings_he\n")
expect_refused("unknown topic" "settings_he.*not in \\|CONTEXT"
    unknown.map SAMPLE.HLP REFUSED.HLP)
file(WRITE ${work}/twice.map "111 settings\n121 settings_hex\n111 Top\n")
expect_refused("number given twice" "line 3.*111.*already mapped on line 1"
    twice.map SAMPLE.HLP REFUSED.HLP)
file(WRITE ${work}/garbled.map "111 settings\n12x settings\n")
expect_refused("unreadable line" "line 2" garbled.map SAMPLE.HLP REFUSED.HLP)
expect_refused("missing map file" "no-such.map" no-such.map SAMPLE.HLP REFUSED.HLP)

# ---- 300 topics: more than one |CONTEXT leaf page of 2 KB (8 bytes an entry),
# so a root index page above the leaves

set(big "\\title Many topics\n\n")
set(big_map "")
foreach(i RANGE 1 300)
    string(APPEND big "\\C{c${i}} Topic ${i}\n\n\\cfg{winhelp-topic}{t${i}_page}\n\nText ${i}.\n\n")
    math(EXPR number "1000 + ${i}")
    string(APPEND big_map "${number} t${i}_page\n")
endforeach()
file(WRITE ${work}/big.but "${big}")
file(WRITE ${work}/big.map "${big_map}")
run_halibut(big.but BIG.HLP)
dump(BIG.HLP bigsource)
parse_dump(bigsource "${bigsource_text}")
read_map(bigmap ${work}/big.map)
run_tool(b big.map BIG.HLP BIGMAPPED.HLP)
if(NOT b_rc EQUAL 0)
    message(FATAL_ERROR "mapping BIG.HLP failed (${b_rc}): ${b_err}")
endif()
dump(BIGMAPPED.HLP bigmapped)
parse_dump(bigmapped "${bigmapped_text}")
check_mapped("300 topics" bigsource bigmapped bigmap)
check_same_files("300 topics" BIG.HLP BIGMAPPED.HLP "|CONTEXT" "|CTXOMAP")
read_internal_files(${work}/BIGMAPPED.HLP bm)
hex_number("${bm_hex_CONTEXT}" 32 2 levels)
if(levels LESS 2)
    fail("300 topics: |CONTEXT of ${levels} level(s), the test wants an index level")
endif()
count_viewer_misses("300 topics, Halibut's" BIG.HLP bigsource missed)
if(bigsource_order STREQUAL "unsigned" AND missed EQUAL 0)
    fail("300 topics: Halibut's |CONTEXT in unsigned order, yet a viewer finds every topic")
endif()
count_viewer_misses("300 topics" BIGMAPPED.HLP bigmapped missed)
if(NOT missed EQUAL 0)
    fail("300 topics: a viewer misses ${missed} topics")
endif()
run_tool(b2 big.map BIGMAPPED.HLP BIGAGAIN.HLP)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files BIGMAPPED.HLP BIGAGAIN.HLP
    WORKING_DIRECTORY ${work} RESULT_VARIABLE same)
if(NOT b2_rc EQUAL 0 OR NOT same EQUAL 0)
    fail("300 topics, the tool on its own output: exit status ${b2_rc}, files differ: ${same}")
endif()

if(failures GREATER 0)
    message(FATAL_ERROR "helpmap round trip: ${failures} failure(s)")
endif()
message(STATUS "helpmap round trip: all checks passed")
