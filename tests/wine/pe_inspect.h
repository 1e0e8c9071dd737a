// Reads what a trading program's loader sees in a Windows DLL, from the text
// that the mingw binutils print about it.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace winetest {

// From `objdump -p`: "pei-x86-64" for a 64-bit image.
std::string FileFormat(const std::string& objdumpText);

// From `objdump -p`: the names in the export name table, in table order.
std::vector<std::string> ExportedNames(const std::string& objdumpText);

// From `objdump -p`: the number of entries in the export address table.
int ExportAddressCount(const std::string& objdumpText);

// From `objdump -p`: the DLLs named in the import table.
std::vector<std::string> ImportedDlls(const std::string& objdumpText);

// From `windres -O rc`: the VALUE "name", "text" pairs of the version resource.
std::map<std::string, std::string> VersionStrings(const std::string& rcText);

}  // namespace winetest
