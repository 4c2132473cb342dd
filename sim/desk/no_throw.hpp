// The stand-ins' C functions never let a C++ exception reach the station's C code:
// out of memory or a file-system error becomes the operation's failure result.
#pragma once

namespace desk {

template <class Result, class Body>
Result NoThrow(Result on_exception, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return on_exception;
    }
}

}  // namespace desk
