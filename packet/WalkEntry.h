// WalkEntry: one column being walked by CSNMPPacket's GetNext table walk.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "packet/COID.h"
#include "packet/CPacketData.h"

struct WalkEntry {
    CSNMPOID oidFirst;    // parent of the column text; asked once, in the column's first binding
    CSNMPOID oidBase;     // the column text as given: reference of the column test, result key
    std::vector<uint32_t> baseArcs;  // oidBase's arcs, compared with every reply identifier
    CSNMPOID oidCursor;   // sent, then advanced, in every later binding
    bool bFinished = false;     // a returned identifier lay outside the column
    bool bStarted = false;      // the first binding has been sent
    bool bCursorAtEnd = false;  // the cursor's row can no longer advance (row 127)
    int nRowsPerRequest = 0;    // bindings asked for this column in each request
    int nSent = 0;              // bindings actually sent for this column in the last request
    int32_t nExpectedRow = 1;   // row number expected in the next returned identifier
    std::vector<std::string> strings;
    std::vector<int32_t> integers;
    std::vector<std::unique_ptr<CPacketData>> values;
};
