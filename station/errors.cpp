#include "station/errors.h"

namespace ombrix {

std::string ErrorDescription(std::int32_t number) {
    switch (number) {
        case kInvalidProcedureCall:
            return "Invalid procedure call or argument";
        case kOverflow:
            return "Overflow";
        case kSubscriptOutOfRange:
            return "Subscript out of range";
        case kBadFileName:
            return "Bad file name or number";
        case kFileNotFound:
            return "File not found";
        case kDiskFull:
            return "Disk full";
        case kPathFileAccess:
            return "Path/File access error";
        case kPathNotFound:
            return "Path not found";
        default:
            return "Application-defined or object-defined error";
    }
}

void Raise(std::int32_t number) {
    throw RuntimeError{number, ErrorDescription(number), "Ombrix"};
}

}  // namespace ombrix
