#pragma once
// The rule that makes packages reproducible. Entries keep the order they are given in and
// the files of a folder are taken in byte order of their names (CollectEntries), so the
// order the file system lists them in never matters. Times: with SOURCE_DATE_EPOCH set to
// a number of seconds since 1970 (the reproducible-builds convention), every entry of an
// archive gets that time, in UTC, whatever the times of its files; without it, an entry
// gets its file's time (or the current time) in local time, as zip does.
#include <cstdint>
#include <ctime>

namespace zpk {

// The time SOURCE_DATE_EPOCH gives; false when it is not set or not a plain number.
bool ReproducibleTime(std::time_t& when);

// The time written for an entry whose file has `fileTime` (the current time for an entry
// made in memory).
std::time_t EntryTime(std::time_t fileTime);

// `when` as an MS-DOS date and time (2-second steps, 1980 to 2107), in UTC under
// SOURCE_DATE_EPOCH and in local time otherwise.
void DosDateTime(std::time_t when, std::uint16_t& dosTime, std::uint16_t& dosDate);

}  // namespace zpk
