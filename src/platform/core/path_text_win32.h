// Texts between the program's 8-bit Windows-1252 and the wide texts of the
// Windows calls, shared by the Windows implementations only. Code page 1252
// always, never the machine's ANSI code page: that may be another one, or
// UTF-8, and the run's texts are Windows-1252 whatever it is.
#pragma once

#include <windows.h>

#include <string>

namespace veltrum {

// A Windows-1252 text as a wide text; exact.
std::wstring widened(const std::string& ansi);

// `wide` in Windows-1252, with "?" for every character it cannot hold and
// never a best-fit look-alike ("Ω" does not become "O"). True when the 8-bit
// text gives `wide` back exactly, so it names the same entry.
bool narrowedExactly(const std::wstring& wide, std::string* ansi);

// `wide` in Windows-1252 with `mark` for every character it cannot hold,
// never a best-fit look-alike.
std::string narrowedWith(const std::wstring& wide, char mark);

// A wide text as UTF-8, without loss.
std::string utf8Of(const std::wstring& wide);

// The full path of what `handle` has open, as the file system sees it
// (links resolved), at any length; empty when it cannot be had.
std::wstring finalPathOf(HANDLE handle);

// Whether two paths name the same entry, letter case aside.
bool samePath(const std::wstring& a, const std::wstring& b);

}  // namespace veltrum
