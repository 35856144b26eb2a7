#include "platform/core/path_text_win32.h"

#include <winternl.h>

#include <vector>

namespace veltrum {

namespace {

constexpr UINT kCodePage = 1252;

}  // namespace

std::wstring widened(const std::string& ansi) {
  const int length =
      MultiByteToWideChar(kCodePage, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (length > 0) {
    MultiByteToWideChar(kCodePage, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                        length);
  }
  return wide;
}

std::string narrowedWith(const std::wstring& wide, char mark) {
  const int length = static_cast<int>(wide.size());
  const char fill[2] = {mark, '\0'};
  const int size = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                       nullptr, 0, fill, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  if (size > 0) {
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, narrow.data(), size,
                        fill, nullptr);
  }
  return narrow;
}

bool narrowedExactly(const std::wstring& wide, std::string* ansi) {
  *ansi = narrowedWith(wide, '?');
  return widened(*ansi) == wide;
}

std::string utf8Of(const std::wstring& wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(size), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
  }
  return text;
}

namespace {

// The object name of what `handle` has open. Wine gives a path past MAX_PATH
// only this way (its GetFinalPathNameByHandleW fails there), as "\??\" and
// the same path GetFinalPathNameByHandleW gives as "\\?\" below MAX_PATH;
// any other form (Windows' "\Device\...") gives "".
std::wstring objectPathOf(HANDLE handle) {
  std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));  // aligned for the record
  ULONG size = 0;
  if (NtQueryObject(handle, ObjectNameInformation, buffer.data(),
                    static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)), &size) != 0) {
    return L"";
  }
  const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
  const std::wstring path(name->Buffer, name->Length / sizeof(WCHAR));
  if (path.compare(0, 4, L"\\??\\") != 0) return L"";
  return L"\\\\?\\" + path.substr(4);
}

}  // namespace

std::wstring finalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0) break;
    if (length < path.size()) return path.substr(0, length);
    path.assign(length + 1, L'\0');
  }
  return objectPathOf(handle);
}

bool samePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace veltrum
