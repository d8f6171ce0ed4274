#pragma once
// What the sheets tests and the window's Import and Export tests share: the IDs of
// the files LibreOffice made (tests/sheets/files).
#include "store/GroupIDs.h"

namespace sheetstest {

// The IDs of files/fleet-source.csv, from which LibreOffice made the other files.
inline TGroupIDs Fleet() {
    TGroupIDs ids;
    ids.Vehicle[0] = "0012";
    ids.Trailer[0] = "TR-0001";
    ids.Vehicle[1] = "Zoë 7";
    ids.Vehicle[2] = "Müller-Straße";
    ids.Trailer[2] = "T 2";
    ids.Vehicle[3] = "1E5";
    ids.Vehicle[40] = "AB 12 CD";
    ids.Vehicle[95] = "ÿ—Ä";
    return ids;
}

}  // namespace sheetstest
