// The station calls whose cost is measured, and the copy they are measured against.
#pragma once

namespace bench {

struct Operation {
    const char* key;    // as the cost table names it
    bool needs_handle;  // measured with the test handle open
    void (*call)();
};

extern const Operation kOperations[6];

// A fresh phone on an open link, and the handle opened if the operation needs it.
void Prepare(const Operation& operation);
// Closes what Prepare opened.
void Finish(const Operation& operation);

}  // namespace bench
