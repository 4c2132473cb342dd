// The phone the cost is measured against, kept in memory: the stand-in driver, or a
// driver that does nothing, to show the library's own share.
#pragma once

namespace bench {

// What the table is titled with.
const char* PhoneDescription();

// A fresh phone on an open link, with one record read and written beforehand so the
// driver's own buffers exist before anything is counted.
void OpenLinkToFreshPhone();

// Driver record calls taken so far.
unsigned long DriverReads();
unsigned long DriverWrites();

}  // namespace bench
