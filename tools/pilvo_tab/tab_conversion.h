// Changing the version of a TAB file.
#pragma once

#include "data/tab_file.h"

namespace pilvo {

// The contents with every record set to `version` (a number from 10 to 44).
TabContents WithVersion(TabContents contents, int version);

// Whether storing the contents in their version keeps everything the current version would:
// false when fields or probes the older layout lacks would be dropped.
bool StoresWithoutLoss(const TabContents& contents);

}  // namespace pilvo
