// The TAB file: the kinematic description of one arm with its probes, in every version from
// "tab" to "t44". Parsing works on bytes so that it can be fuzzed; the Read/Write functions
// add the operator's messages and the file system.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "data/arm_record.h"

namespace pilvo {

inline constexpr int kCurrentTabVersion = 44;
inline constexpr std::string_view kTabFileFilter = "Tab Files (*.tab) | *.tab||";

// A whole TAB file: the main (base) record and the probe table. Probe i (1 … main.probeCount)
// is probes[i - 1]; the entries past the count are free.
struct TabContents {
  ArmRecord main;
  std::array<ArmRecord, kMaxProbes> probes{};
  int version = 0;  // version number of the file last read (tabVersion)
};

enum class TabError {
  None,
  LaterVersion,  // "t45" … "t49", "t5x" … "t9x": written by later software
  NotValid,      // not a TAB file, truncated, or counts past what the record can hold
};

// Version number of a signature (10, 20, 30, 40 … 44), or the reason it is refused.
struct SignatureVersion {
  int version = 0;
  TabError error = TabError::None;
};
SignatureVersion VersionOfSignature(std::array<char, 4> signature);

// The signature "t44", "ta3", … of a version number, or nothing for a number no file carries.
bool SignatureOfVersion(int version, std::array<char, 4>& signature);

// Parses a whole file over `contents` and returns its error. Nothing of `contents` changes
// unless the whole file is accepted; fields an older version lacks get the reader's defaults.
// Bytes after the last record are ignored.
TabError ParseTabFile(std::span<const std::uint8_t> bytes, TabContents& contents);

// As ParseTabFile, for TAB data that other data follows (a report file): `length` gets the
// number of bytes the TAB data takes, and is left as it was when the data is refused.
TabError ParseLeadingTabFile(std::span<const std::uint8_t> bytes, TabContents& contents,
                             std::size_t& length);

enum class TabWriteError {
  None,
  BadRecord,  // unknown signature, counts past the record, or a text too long to store
  FileError,  // the file could not be written or flushed to disk (see WriteFileAtomically)
};

// The bytes of a whole file: the main record's signature, the main record, then the probe
// records of the table, each in the main record's version. Empty on BadRecord.
TabWriteError SerializeTabFile(const TabContents& contents, std::vector<std::uint8_t>& bytes);

// Replaces the file at `path` atomically: on any failure the previous file stays intact.
TabWriteError WriteTabFile(const std::filesystem::path& path, const TabContents& contents);

}  // namespace pilvo
