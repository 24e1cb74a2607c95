// The DLL's registration for every user of the machine (HKLM\Software\Classes), kept as
// data: one table of registry keys, written in order to register and removed in the
// reverse order to unregister, so that the two cannot drift apart.
#pragma once

#include <windows.h>

#include <string>

namespace shell {

// Writes every key of the table with `modulePath` as the DLL's path. A key that cannot
// be written undoes the keys written before it, and its failure is the result.
HRESULT Register(const std::wstring& modulePath);

// Removes the table's keys, last first. A key that is the DLL's alone goes with all it
// holds; from one it shares with others (the .m32 extension) go only the values that
// still hold what Register wrote, and the key once nothing else is left in it.
HRESULT Unregister(const std::wstring& modulePath);

}  // namespace shell
