// Run-time errors of the decoding path, numbered as the classic runtime numbers them, so that
// "fehler.log" reads the same as it always has.
#pragma once

#include <cstdint>
#include <string>

namespace ombrix {

enum ErrorNumber : std::int32_t {
    kInvalidProcedureCall = 5,
    kOverflow = 6,
    kSubscriptOutOfRange = 9,
    kBadFileName = 52,
    kFileNotFound = 53,
    kDiskFull = 61,
    kPathFileAccess = 75,
    kPathNotFound = 76,
};

struct RuntimeError {
    std::int32_t Number = 0;
    std::string Description;
    std::string Source = "Ombrix";
};

// The description the runtime gives for a number ("Overflow" for 6, ...).
std::string ErrorDescription(std::int32_t number);

[[noreturn]] void Raise(std::int32_t number);

}  // namespace ombrix
