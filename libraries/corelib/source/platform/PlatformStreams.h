#pragma once
// Opening runtime-library streams by file name (the one door File and the byte helpers use).
#include <cstddef>
#include <cstdio>
#include <string>

namespace KestroCorelib::platform {

// Opens by the wide name: Windows opens that name itself; POSIX opens its narrow (Latin-1)
// form in the POSIX path form. Null on failure.
std::FILE* openStream(const std::wstring& name, const char* mode);
// Opens by the narrow name (in the POSIX path form on POSIX). Null on failure.
std::FILE* openStream(const std::string& name, const char* mode);
// A read stream ("rb") over a descriptor of openRegularFile; null on failure (the
// descriptor is then closed).
std::FILE* streamFromDescriptor(int descriptor);
// Reads up to `size` bytes straight from the stream's file, past the stream's own buffer (for
// a stream nobody reads through stdio): what one system read gives, so that a pipe delivers
// what has arrived without waiting for a whole block. The count read, 0 at end of file, -1 on
// an error.
std::ptrdiff_t readSome(std::FILE* stream, char* buffer, std::size_t size);

}  // namespace KestroCorelib::platform
