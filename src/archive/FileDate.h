// Stamping an extracted file with the date stored in its header.
#pragma once

#include <cstdint>

#include "platform/WindowsApi.h"

namespace veltrane {

struct DosDateTime {
    std::uint16_t date = 0;
    std::uint16_t time = 0;
};

// The stored date (days since 30 December 1899, local time, rounded to the millisecond) in the
// MS-DOS format: two-second steps, years 1980 to 2099. Any other value, including one that is
// not a finite number, packs to 0 in both words, which is no valid DOS date.
DosDateTime PackDosDateTime(double fileDate);

// Sets the file's last-write time from the stored date; leaves it as writing made it when the
// date cannot be converted. Failures are ignored.
void StampFileDate(WindowsApi& api, Handle file, double fileDate);

}  // namespace veltrane
