#pragma once

#include "settings/RegistryTree.h"

#include <QByteArray>

// The text form of the per-user store: a Windows registry export that a user can
// read and edit.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Trovewick\Trovewick20]
//   "Search"="asf,avi"            string (REG_SZ), \\ and \" escaped
//   @="text"                      the key's default value
//   "N"=dword:000000fa            REG_DWORD
//   "B"=hex:00,00,01              REG_BINARY
//   "E"=hex(2):25,00,54,00,...    REG_EXPAND_SZ; hex(7) REG_MULTI_SZ; hex(1) a REG_SZ
//                                 the quoted form cannot hold; hex(N) any other type
//
// The file is written as UTF-8 with "\n" line ends; UTF-8 (with or without a byte
// order mark), UTF-16 with a byte order mark (little-endian, as the registry
// editor writes it, or big-endian), and "\r\n" line ends are all read. Stored
// string bytes are UTF-8 text, or whatever 8-bit bytes a REGEDIT4 file held for a
// string. The hex forms of the string types (1, 2 and 7) hold UTF-16LE code units
// in a version 5.00 file, as real exports do, and are converted to and from the
// stored UTF-8 bytes unit by unit, NULs and byte order marks included; in a
// "REGEDIT4" file they are the 8-bit bytes themselves, so only that form holds
// string bytes that are not UTF-8 text. Long hex data continues on the next line
// after a trailing "\".
namespace RegistryFileFormat {

inline constexpr char Header[] = "Windows Registry Editor Version 5.00";
inline constexpr char Regedit4Header[] = "REGEDIT4";

// Which of the two headers a text has, and so what the hex forms of strings hold.
enum class Version { Editor5, Regedit4 };

struct ParseResult
{
    RegistryTree tree;
    Version version = Version::Editor5;
    // Some part of the text could not be read exactly; that part is missing from
    // the tree.
    bool damaged = false;
};

ParseResult parse(const QByteArray &text);

// The text of the tree under the header asked for. A tree with a string value
// whose bytes are not UTF-8 text is written as a REGEDIT4 file whatever was asked,
// as only that form can hold it: what is written reads back as the same tree,
// every value byte for byte.
QByteArray serialize(const RegistryTree &tree, Version version = Version::Editor5);

} // namespace RegistryFileFormat
