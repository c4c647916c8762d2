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
// order mark), UTF-16LE with a byte order mark (what the registry editor writes),
// and "\r\n" line ends are all read. Stored string bytes are UTF-8. The hex forms
// of the string types (1, 2 and 7) hold UTF-16LE code units in a version 5.00
// file, as real exports do, and are converted to and from the stored UTF-8 bytes
// unit by unit, NULs included; in a "REGEDIT4" file they are the 8-bit bytes
// themselves. Long hex data continues on the next line after a trailing "\".
namespace RegistryFileFormat {

inline constexpr char Header[] = "Windows Registry Editor Version 5.00";

struct ParseResult
{
    RegistryTree tree;
    // Some part of the text could not be read; that part is missing from the tree.
    bool damaged = false;
};

ParseResult parse(const QByteArray &text);
QByteArray serialize(const RegistryTree &tree);

} // namespace RegistryFileFormat
