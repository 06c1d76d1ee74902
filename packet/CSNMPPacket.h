// CSNMPPacket: SNMP version 1 requests and the interpretation of their responses, for a single
// Get and for a walk of several table columns with GetNextRequests.
//
// Single Get: SetRequestType(PDU_GET_REQUEST); BuildGet(text); send GetRequest(); Parse(reply);
// GetValue(text, ...). Walk: SetWalkList(columns); while !IsDone(): BuildGetNext(); send;
// Parse(reply); then read GetStringResults() / GetIntegerResults() by column text.
//
// A walk always ends: every answered request advances the first unfinished column by at least
// one row, every noSuchName either ends a column or moves its end row back, and a column whose
// rows go on past row 127 fails the walk with PACKET_ERR_BUILD instead of asking the same row
// again: the cursor's last arc cannot advance beyond 127 in place, so the GetNext of row 128
// that would show the column's end cannot be asked. A column of 127 rows completes.
//
// The end of the agent's MIB ends a column, not the walk: a version-1 agent answers a GetNext
// with nothing after it by noSuchName and the binding's number; that binding's column has then
// been read up to there, and the other columns go on (EndColumnAtMibEnd). A column that is the
// last in the MIB is therefore read whole, like any other.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "packet/COID.h"
#include "packet/CPacket.h"

class CSNMPPacket : public CPacket {
public:
    CSNMPPacket();

    // Replaces the columns still to be walked by a copy of the list.
    void SetWalkList(const std::vector<WalkColumn>& columns);
    // Builds a GetRequest for one identifier. 0 or PACKET_ERR_BUILD.
    int BuildGet(const std::string& strText);
    // Builds the next GetNextRequest of the walk. 0 or PACKET_ERR_BUILD.
    int BuildGetNext();

    int Parse(const BYTE* pReply, int nLength) override;
    int GetValue(std::string& strKey, BYTE* pBuffer, DWORD* pdwSize) override;
    int GetValue(std::string_view strKey, BYTE* pBuffer, DWORD* pdwSize);

private:
    // Puts the message headers ahead of the bindings (dwBindings bytes) and serialises every
    // element into the request buffer. 0 or PACKET_ERR_BUILD.
    int AssembleMessage(uint32_t dwBindings);
    // Appends one binding (header, identifier, NULL) for the identifier. 1 or 0.
    int AppendBinding(const COID& oid, uint32_t* pdwSize);
    // Moves columns from the input list into the walk while their rows fit. 0 or PACKET_ERR_BUILD.
    int RefillWalk();
    int InterpretGet(std::span<const SPacketPiece> pieces);
    int InterpretWalk(std::span<const SPacketPiece> pieces);
    // Moves the lists of finished columns into the result maps and removes the columns.
    void HarvestFinished();
    // A walk response of noSuchName for binding number dwBinding (1 for the first): that
    // binding's GetNext met the end of the agent's MIB. 0 or PACKET_ERR_AGENT_ERROR.
    int EndColumnAtMibEnd(uint32_t dwBinding);

    BYTE m_byVersion = 0;               // SNMP version 1
    std::string m_strCommunity;
    BYTE m_byRequestId = 0;
    BYTE m_byErrorStatus = 0;
    BYTE m_byErrorIndexOut = 0;
};
