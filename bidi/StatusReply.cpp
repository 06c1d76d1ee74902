// Information commands, the status fields and the ink records (see StatusReply.h).
#include "bidi/StatusReply.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr std::string_view kStatusMark = "ST2";
constexpr size_t kStatusLengthOffset = 5;  // from the "S": the length byte L
constexpr size_t kStatusFieldsOffset = 7;  // from the "S": the first field
constexpr size_t kStatusFieldHeaderBytes = 2;

constexpr size_t kInkColourOffset = 2;  // colour code inside an ink record
constexpr size_t kInkMaxRecords = 20;   // records looked at
constexpr BYTE kInkBlack = 0;

struct InfoCommandEntry {
    DWORD dwCode;
    InfoCommand command;
};

// The two letters, 0x01, 0x00 and the parameter of each command.
constexpr InfoCommandEntry kInfoCommands[] = {
    {1, {'p', 'c', 0x01, 0x00, 0x00}},   // confidential-job support
    {2, {'s', 'r', 0x01, 0x00, 0x00}},   // tray details
    {10, {'s', 't', 0x01, 0x00, 0x01}},  // status reply
    {14, {'p', 'm', 0x01, 0x00, 0x01}},  // supported media
    {16, {'p', 'm', 0x01, 0x00, 0x02}},  // input paths
};

}  // namespace

bool BuildInfoCommand(DWORD dwCode, InfoCommand* pCommand) {
    for (const auto& entry : kInfoCommands) {
        if (entry.dwCode == dwCode) {
            *pCommand = entry.command;
            return true;
        }
    }
    return false;
}

std::string InfoCommandOID(std::span<const BYTE> command) {
    std::string oid = kInfoCommandOID;
    for (BYTE b : command) {
        oid += '.';
        oid += std::to_string(static_cast<unsigned>(b));
    }
    return oid;
}

void DropLeadingReplyByte(std::vector<BYTE>* pReply) {
    if (pReply->empty()) return;
    std::copy(pReply->begin() + 1, pReply->end(), pReply->begin());
    pReply->back() = 0;
}

namespace {

// Where the "ST2" block lies: the "S" and the end its length byte announces (which may lie past
// the reply's end). NoST2 without the mark, Absent when the length byte is missing.
struct StatusBlock {
    StatusFieldResult result = StatusFieldResult::NoST2;
    size_t s = 0;
    size_t announcedEnd = 0;
};

StatusBlock FindStatusBlock(std::span<const BYTE> reply) {
    const auto it = std::search(reply.begin(), reply.end(), kStatusMark.begin(), kStatusMark.end());
    if (it == reply.end()) return {};
    const size_t s = static_cast<size_t>(it - reply.begin());
    if (s + kStatusLengthOffset >= reply.size()) return {StatusFieldResult::Absent, s, 0};
    return {StatusFieldResult::Found, s, s + kStatusLengthOffset + reply[s + kStatusLengthOffset]};
}

}  // namespace

bool StatusReplyIsWhole(std::span<const BYTE> reply) {
    const StatusBlock block = FindStatusBlock(reply);
    return block.result == StatusFieldResult::Found && block.announcedEnd <= reply.size();
}

StatusFieldResult FindStatusField(std::span<const BYTE> reply, BYTE byHeader, std::span<const BYTE>* pField) {
    const StatusBlock block = FindStatusBlock(reply);
    if (block.result != StatusFieldResult::Found) return block.result;
    const size_t s = block.s;
    const size_t end = std::min(reply.size(), block.announcedEnd);

    size_t pos = s + kStatusFieldsOffset;
    while (pos + kStatusFieldHeaderBytes <= end) {
        const BYTE header = reply[pos];
        const size_t length = reply[pos + 1];
        const size_t data = pos + kStatusFieldHeaderBytes;
        if (data + length > end) break;  // a field cut off by the span's end is no field
        if (header == byHeader) {
            *pField = reply.subspan(data, length);
            return StatusFieldResult::Found;
        }
        pos = data + length;
    }
    return StatusFieldResult::Absent;
}

bool InkFieldHasColour(std::span<const BYTE> field) {
    if (field.empty()) return false;
    const size_t recordSize = field[0];
    // A record too short to hold a colour code holds no ink.
    if (recordSize <= kInkColourOffset) return false;
    for (size_t k = 0; k < kInkMaxRecords; ++k) {
        const size_t start = k * recordSize;
        if (start + recordSize > field.size()) break;
        if (field[start + kInkColourOffset] != kInkBlack) return true;
    }
    return false;
}
