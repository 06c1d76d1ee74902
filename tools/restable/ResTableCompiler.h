// The resource-table compiler: turns a readable JSON description of a driver's binary resource
// tables into the binary file that CBITableData loads.
//
// Source form:
//   { "format": 1, "numeric": false, "flags": 0,
//     "tables": [ { "id": 3010, "rowSize": 112, "rows": [ { "id": 9, "name": "A4", ... } ] } ] }
// Rows of the known tables are objects with named fields (below); rows of any table may instead
// be given as { "hex": "0a0b..." }. Numbers are JSON numbers or "0x..." strings. Unknown fields,
// out-of-range numbers and names that do not fit their field are errors.
//   3000 paper types:   id, name, flags, code1, code2
//   3010 paper sizes:   id, name, direction, shown, flags, code1, code2
//   3020 paper sources: element, bits, flags, flags2
//   3040 qualities:     id, resolution, flags
//   3050 models:        name, feeder, flags
//   3080 System OEM:    pattern (63 bytes at most), modelInfo, pdl, options, memory (MB),
//                       sources (up to 11 element IDs), trays, userDef (8 limits: height and width
//                       maximum and minimum in tenths of a millimetre, then the same in hundredths
//                       of an inch)
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace restable {

// Compiles a parsed source into file bytes. False with a message naming the table, row and field
// at fault.
bool Compile(const nlohmann::json& source, std::vector<uint8_t>& file, std::string& error);

}  // namespace restable
