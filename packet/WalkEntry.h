// WalkEntry: one column being walked by CSNMPPacket's GetNext table walk.
#pragma once

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <vector>

#include "packet/COID.h"
#include "packet/PacketResults.h"

struct WalkEntry {
    // The lists come from the packet's arena, so a finished column's lists move into the
    // packet's results without a copy.
    explicit WalkEntry(std::pmr::memory_resource* pArena) : strings(pArena), integers(pArena), values(pArena) {}

    // What every reply reads comes first, so that parsing touches few cache lines per column.
    bool bFinished = false;     // a returned identifier lay outside the column
    bool bStarted = false;      // the first binding has been sent
    bool bCursorAtEnd = false;  // the cursor's row can no longer advance (row 127)
    int nRowsPerRequest = 0;    // bindings asked for this column in each request
    int nSent = 0;              // bindings actually sent for this column in the last request
    int32_t nExpectedRow = 1;   // row number expected in the next returned identifier
    // The cursor's row whose GetNext met the end of the agent's MIB: nothing follows it, so the
    // column is read once the cursor gets there. kNoEndRow until an agent has said so.
    static constexpr uint32_t kNoEndRow = UINT32_MAX;
    uint32_t dwEndRow = kNoEndRow;
    std::vector<uint32_t> baseArcs;  // oidBase's arcs, compared with every reply identifier
    PacketList<PacketText> strings;
    PacketList<int32_t> integers;
    PacketList<PacketValue> values;

    CSNMPOID oidFirst;    // parent of the column text; asked once, in the column's first binding
    CSNMPOID oidBase;     // the column text as given: reference of the column test, result key
    CSNMPOID oidCursor;   // sent, then advanced, in every later binding

    // Where the last request started, to ask its bindings again when the reply carried no values.
    uint32_t dwRequestRow = 0;         // the cursor's row
    bool bRequestStarted = false;      // bStarted
    bool bRequestCursorAtEnd = false;  // bCursorAtEnd
};
