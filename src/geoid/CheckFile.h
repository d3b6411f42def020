// Check files: a small text file "<data file>.sum" that our converters write
// beside each data file they make, holding the data file's size, its CRC-32
// and the name of the source it was converted from. The loaders verify a
// data file against its check file when one is present, so a file damaged
// after conversion (a flipped bit, a truncated copy, another file put in its
// place) is refused instead of loaded. Data files without a check file load
// as before.
//
//   tervala-check 1
//   size 4153000
//   crc32 5d1c0a3e
//   source egm96_15.gtx
#ifndef TERVALA_GEOID_CHECKFILE_H
#define TERVALA_GEOID_CHECKFILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tervala {
namespace check {

// The check file of a data file: "<path>.sum".
std::string checkFilePath(const std::string& dataPath);

// CRC-32 (the polynomial of zip and PNG) of `size` bytes, continuing `crc`
// (0 to start).
std::uint32_t crc32(const void* bytes, std::size_t size, std::uint32_t crc = 0);

struct CheckRecord {
    long long size = -1;
    std::uint32_t crc = 0;
    std::string source;  // what the data file was converted from; may be empty
};

// The text of a check file for data `bytes` converted from `source` (a file
// name; only its last component is kept).
std::string formatCheckFile(const std::string& bytes, const std::string& source);
// The same for `size` bytes with CRC `crc`.
std::string formatCheckFile(long long size, std::uint32_t crc, const std::string& source);

enum class CheckResult {
    NoCheckFile,  // none beside the data file: nothing to verify
    Matches,
    Mismatch,     // size or CRC differ: the data file is not the one converted
    BadCheckFile, // the check file cannot be read or is not one
};

// Verifies the data file at `dataPath` against its check file. `record`
// receives what the check file says (also on a mismatch); `problem` says
// what is wrong for Mismatch and BadCheckFile (naming the check file; the
// caller names the data file).
CheckResult verifyDataFile(const std::string& dataPath, CheckRecord& record, std::string& problem);

// Reads the check file of `dataPath` without verifying (for descriptions):
// true when there is one and it parses.
bool readCheckFile(const std::string& dataPath, CheckRecord& record, std::string& problem);

// Size and CRC-32 of an open file from its current position to the end;
// false on a read error.
bool checksumOfStream(std::FILE* file, long long& size, std::uint32_t& crc);

} // namespace check
} // namespace tervala

#endif
