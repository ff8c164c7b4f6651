// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading and replacing the operator's files without ever damaging them.
//
// Only regular files are read or replaced, so that a path naming a pipe, a
// device or a directory can neither block, read without end, nor be
// replaced. Symbolic links are followed: the file a link points to is
// replaced and the link stays. A file without any write permission is the
// operator's protection and is never replaced. A replacement is written
// completely to an unnamed temporary file, flushed to disk and only then
// given a temporary name and renamed over the old file, keeping its
// permission bits, so that a full disk, a crash or a kill leave either the
// old or the new file, complete. Only a kill in the instant between naming
// and renaming leaves the temporary ("<file>.tmp-<pid>-<n>"), and the next
// save of that file removes it.
//
// Errors are POSIX error numbers (0 for success). Any thread; no shared
// state.

#include <cstddef>
#include <functional>
#include <string>

#include <sys/types.h>

namespace lcr {

// What a path finally names once every symbolic link is followed.
struct tfile_target {
  int error_number = 0;  // ENOENT is no error here: see `exists`
  bool exists = false;   // a regular file is there
  std::string path;      // the resolved path (where a new file would go)
};

// Follows links (at most 40) and refuses anything but a regular file or
// nothing: EISDIR for a directory, EINVAL for a pipe, device or socket.
tfile_target regular_file_target(const std::string& path);

// As above, and EACCES when the file exists but may not be replaced.
tfile_target replaceable_file_target(const std::string& path);

// Opens a regular file for reading without blocking; the descriptor is
// closed on destruction. `error_number` is ENOENT when there is no file.
class tread_descriptor {
public:
  explicit tread_descriptor(const std::string& path);
  ~tread_descriptor();
  tread_descriptor(const tread_descriptor&) = delete;
  tread_descriptor& operator=(const tread_descriptor&) = delete;

  int get() const { return descriptor_; }
  int error_number() const { return error_number_; }

  // Up to `size` bytes; 0 at the end, −1 with errno on error.
  ssize_t read_some(char* data, std::size_t size) const;

private:
  int descriptor_ = -1;
  int error_number_ = 0;
};

// The whole text of a regular file of at most `largest` bytes (a larger
// one is not read past that: `too_large`). `error_number` is ENOENT when
// there is no file.
struct tfile_text {
  int error_number = 0;
  bool too_large = false;
  std::string text;
};
tfile_text read_regular_text(const std::string& path, std::size_t largest);

// Writes what `write_contents` puts into the descriptor it is given (it
// returns 0 or an error number) and replaces the file at `path` with it.
int replace_regular_file(const std::string& path, const std::function<int(int descriptor)>& write_contents);

// Writes all of `size` bytes to a descriptor; 0 or an error number.
int write_all(int descriptor, const char* data, std::size_t size);

// Who owns a file and its permission bits, taken before it is replaced by
// a writer of its own (the settings file's), so that the replacement keeps
// them as `replace_regular_file` keeps them: a file of another user saved
// by root stays that user's.
struct tfile_identity {
  bool known = false;
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0;
};
tfile_identity file_identity(const std::string& path);
// Gives the file now at `path` the identity its predecessor had (the owner
// only where the process may set it).
void keep_identity(const std::string& path, const tfile_identity& identity);

}  // namespace lcr
