// Paths between the program's ANSI texts and the wide texts of the Windows
// calls, shared by the Windows implementations only.
#pragma once

#include <windows.h>

#include <string>

namespace veltrum {

// An ANSI text (the process's code page) as a wide text; exact.
std::wstring widened(const std::string& ansi);

// `wide` in the ANSI code page, with "?" for every character it cannot hold
// and never a best-fit look-alike ("Ω" does not become "O"). True when the
// ANSI text gives `wide` back exactly, so it names the same entry.
bool narrowedExactly(const std::wstring& wide, std::string* ansi);

// A wide text as UTF-8, without loss.
std::string utf8Of(const std::wstring& wide);

// The full path of what `handle` has open, as the file system sees it
// (links resolved); empty when it cannot be had.
std::wstring finalPathOf(HANDLE handle);

// Whether two paths name the same entry, letter case aside.
bool samePath(const std::wstring& a, const std::wstring& b);

}  // namespace veltrum
