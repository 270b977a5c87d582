#pragma once
// Opening runtime-library streams by file name (the one door File and the byte helpers use).
#include <cstdio>
#include <string>

namespace KestroCorelib::platform {

// Opens by the wide name: Windows opens that name itself; POSIX opens its narrow (Latin-1)
// form in the POSIX path form. Null on failure.
std::FILE* openStream(const std::wstring& name, const char* mode);
// Opens by the narrow name (in the POSIX path form on POSIX). Null on failure.
std::FILE* openStream(const std::string& name, const char* mode);

}  // namespace KestroCorelib::platform
