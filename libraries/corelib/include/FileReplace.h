#pragma once
// Replacing the whole content of a file so that a reader finds the old file or the new one,
// never a mixture: the content goes to a new file beside it, which is renamed over the name.
//
//   FileReplaceOptions options;
//   options.durable = true;   // on the disk before the call returns
//   FileReplaceResult r = replaceFileContent("/etc/kestro/HKEY_LOCAL_MACHINE.reg", text, options);
//   if (!r) show(r.path + ": " + std::strerror(r.error));
//   // "/etc/kestro: Permission denied" when the new file could not be made
//
// The program's own files and the library's registry hives are written this way.
#include <string>

namespace KestroCorelib {

struct FileReplaceOptions {
  // Flushes the new content to the disk before the rename, and the directory after it, so that
  // after a crash of the whole system the name holds the old content or the new one, whole.
  // Without it, a process that ends at any point still leaves the old content or the new one,
  // but a system crash shortly after the call may leave the name empty or with the old
  // content, on file systems that write data later than names.
  bool durable = false;
  // POSIX: an open descriptor of the file being replaced. The new file is made private to its
  // writer (0600) and, before any content goes in, takes that file's mode and, where the
  // system lets us, its owner and group. With -1 the new file is made with mode 0644 less the
  // umask: never writable by others. Windows ignores it.
  int attributesOf = -1;
};

struct FileReplaceResult {
  // 0 when the file was replaced; otherwise the system's error number (errno on POSIX,
  // GetLastError() on Windows).
  int error = 0;
  // The path the error is about, as the operating system writes it: the directory when the new
  // file could not be made there, the file otherwise.
  std::string path;

  explicit operator bool() const { return error == 0; }
};

// Replaces the file `name` (library path form) by one holding exactly `content`. The new file
// is made in the same directory under the name `name` + "." + random hex digits, exclusively
// (an existing entry of that name, a link included, is never reused), and renamed over
// `name`; a link standing under `name` is replaced itself, not followed. While the new file
// exists, a signal that ends the run removes it. On failure the new file is removed and
// `name` is left as it was.
FileReplaceResult replaceFileContent(const std::string& name, const std::string& content,
                                     const FileReplaceOptions& options = {});

}  // namespace KestroCorelib
