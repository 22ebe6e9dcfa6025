#pragma once

#include <cstdint>
#include <string>

// What a check that is killed leaves behind (a staging folder with an
// installer of up to 4 GiB in it, a notice file, the temporary sibling of a
// state file) is named so that a later check can find it and tell whether
// anyone may still use it: a prefix of its kind, the id of the process that
// made it, and a part nobody can predict. Portable.

extern const wchar_t kStagingPrefix[];  // "qmstage-": a staged installer's folder
extern const wchar_t kNoticePrefix[];   // "whatsnew-": a notification file
extern const wchar_t kNoticeSuffix[];   // ".xml"

// prefix, the maker's process id in decimal, "-" and random.
std::wstring LeftoverName(const wchar_t* prefix, uint32_t makerId, const std::wstring& random);

// What a name says of its maker: prefix, digits (a process id), "-", 32
// hexadecimal digits and suffix give that id (makerKnown); prefix, the 32
// digits alone and suffix, as older Updaters named their notices, are ours
// without a known maker. False for any other name: not ours to touch.
bool ReadLeftoverName(const std::wstring& name, const wchar_t* prefix, const wchar_t* suffix,
                      bool& makerKnown, uint32_t& makerId);

// The process id of a temporary sibling's name (system/FileWrite.h): base +
// "." + digits + ".tmp". False for any other name.
bool ReadSiblingName(const std::wstring& name, const std::wstring& base, uint32_t& makerId);

// What a sweep knows of one leftover.
struct LeftoverFacts {
    bool makerKnown;       // its name carries its maker's process id
    bool makerRunning;     // a process of that id runs (or may: it can't be asked)
    bool makerIsSelf;      // that id is the sweeping process's own
    uint64_t ageSeconds;   // since it was last written
};

// Leftovers older than this are removed whoever made them: no check, no
// installer and no notice lasts that long.
const uint64_t kLeftoverMaxAgeSeconds = 24 * 60 * 60;

// True when a check may remove the leftover: never its own; otherwise once
// it is older than a day, or its maker is gone. (What is still held open
// can't be removed anyway, and is left.)
bool ShouldSweep(const LeftoverFacts& facts);
