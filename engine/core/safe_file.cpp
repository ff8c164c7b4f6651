// SPDX-License-Identifier: GPL-3.0-or-later
#include "safe_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <dirent.h>
#include <cstdlib>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lcr {

namespace {

// As the kernel does for path resolution.
constexpr int max_link_hops = 40;

// The directory part of a path ("." for a bare file name).
std::string directory_of(const std::string& path)
{
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int kind_error(mode_t mode)
{
  return S_ISDIR(mode) ? EISDIR : EINVAL;
}

// Where the symbolic link at `link_path` points, relative to the link's own
// directory; an error number when it cannot be read.
int link_destination(const std::string& link_path, std::string& destination)
{
  std::array<char, 4096> text{};
  const ssize_t length = ::readlink(link_path.c_str(), text.data(), text.size());
  if (length < 0) return errno;
  if (static_cast<std::size_t>(length) >= text.size()) return ENAMETOOLONG;
  const std::string target(text.data(), static_cast<std::size_t>(length));
  destination = target.starts_with('/') ? target : directory_of(link_path) + "/" + target;
  return 0;
}

// A descriptor closed on destruction.
class tdescriptor {
public:
  explicit tdescriptor(int descriptor = -1) : descriptor_(descriptor) {}
  ~tdescriptor() { reset(); }
  tdescriptor(const tdescriptor&) = delete;
  tdescriptor& operator=(const tdescriptor&) = delete;

  int get() const { return descriptor_; }
  bool valid() const { return descriptor_ >= 0; }
  void assign(int descriptor)
  {
    reset();
    descriptor_ = descriptor;
  }
  // Closes now; 0 or the error number of close (a late write error).
  int reset()
  {
    if (descriptor_ < 0) return 0;
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    return result == 0 ? 0 : errno;
  }

private:
  int descriptor_;
};

// Temporaries are named "<file>.tmp-<process id>-<number>", so that one
// left by a process that died can be recognised and removed.
std::string temporary_prefix(const std::string& target)
{
  return target + ".tmp-";
}

std::string temporary_name(const std::string& target)
{
  static std::atomic<unsigned> counter{0};
  return temporary_prefix(target) + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

// The process id in a temporary's name, or 0 when the name is no temporary
// of `target`.
pid_t temporary_owner(std::string_view name, std::string_view prefix)
{
  if (!name.starts_with(prefix)) return 0;
  name.remove_prefix(prefix.size());
  pid_t owner = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), owner);
  if (error != std::errc{} || end == name.data() + name.size() || *end != '-' || owner <= 0) return 0;
  return owner;
}

// A save killed between naming its complete file and renaming it over the
// target (two system calls apart) leaves a temporary behind; the next save
// of the same file removes those whose process no longer exists.
void remove_stale_temporaries(const std::string& target)
{
  const std::string directory = directory_of(target);
  const std::string prefix = temporary_prefix(target.substr(target.find_last_of('/') + 1));
  DIR* const listing = ::opendir(directory.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    const pid_t owner = temporary_owner(entry->d_name, prefix);
    if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) ::unlink((directory + "/" + entry->d_name).c_str());
  }
  ::closedir(listing);
}

// The replacement's contents until they are complete. On Linux the file has
// no name until then (O_TMPFILE), so that a kill leaves nothing behind;
// where the file system cannot do that, a named temporary is removed on
// every failure instead.
class ttemporary_file {
public:
  explicit ttemporary_file(const std::string& target) : target_(target)
  {
    file_.assign(::open(directory_of(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file_.valid()) return;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      error_number_ = errno;
      return;
    }
    name_ = temporary_prefix(target) + std::to_string(::getpid()) + "-XXXXXX";
    file_.assign(::mkostemp(name_.data(), O_CLOEXEC));
    if (!file_.valid()) {
      error_number_ = errno;
      name_.clear();
      return;
    }
    ::fchmod(file_.get(), 0644);
  }

  ~ttemporary_file()
  {
    file_.reset();
    if (!name_.empty()) ::unlink(name_.c_str());
  }

  ttemporary_file(const ttemporary_file&) = delete;
  ttemporary_file& operator=(const ttemporary_file&) = delete;

  int error_number() const { return error_number_; }
  int descriptor() const { return file_.get(); }

  // Flushes the contents to disk and renames them over the target.
  int put_in_place()
  {
    if (::fsync(file_.get()) != 0) return errno;
    if (name_.empty()) {
      const int linked = link_to_a_name();
      if (linked != 0) return linked;
    }
    // Renamed at once: nothing between naming and renaming but the call.
    if (::rename(name_.c_str(), target_.c_str()) != 0) return errno;
    name_.clear();
    return file_.reset();
  }

private:
  // The unnamed file gets a temporary name beside the target: rename cannot
  // move an unnamed file, and link cannot replace an existing one.
  int link_to_a_name()
  {
    const std::string by_descriptor = "/proc/self/fd/" + std::to_string(file_.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = temporary_name(target_);
      int result = ::linkat(AT_FDCWD, by_descriptor.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
      if (result != 0 && errno == ENOENT) {
        // No /proc: linking the descriptor itself needs a privilege.
        result = ::linkat(file_.get(), "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
      }
      if (result == 0) {
        name_ = name;
        return 0;
      }
      if (errno != EEXIST) return errno;
    }
    return EEXIST;
  }

  std::string target_;
  std::string name_;  // the temporary's name once it has one
  tdescriptor file_;
  int error_number_ = 0;
};

tfile_identity identity_of(const struct stat& status)
{
  return {true, status.st_uid, status.st_gid, static_cast<mode_t>(status.st_mode & 07777)};
}

// The old file's owner and permission bits go to its replacement (the owner
// only where the process may set it).
void keep_owner_and_mode(int descriptor, const tfile_identity& identity)
{
  if (::fchown(descriptor, identity.owner, identity.group) != 0) {
    // Not permitted for other users' files: the replacement is ours then.
  }
  ::fchmod(descriptor, identity.mode);
}

// Makes a rename durable.
void sync_directory(const std::string& directory)
{
  const tdescriptor handle(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (handle.valid()) ::fsync(handle.get());
}

}  // namespace

tfile_target regular_file_target(const std::string& path)
{
  tfile_target target;
  target.path = path;
  if (path.empty()) {
    target.error_number = ENOENT;
    return target;
  }
  for (int hop = 0; hop <= max_link_hops; ++hop) {
    struct stat status {};
    if (::lstat(target.path.c_str(), &status) != 0) {
      if (errno != ENOENT) target.error_number = errno;
      return target;  // nothing there yet: a new file goes here
    }
    if (S_ISLNK(status.st_mode)) {
      target.error_number = link_destination(target.path, target.path);
      if (target.error_number != 0) return target;
      continue;
    }
    if (S_ISREG(status.st_mode)) {
      target.exists = true;
    } else {
      target.error_number = kind_error(status.st_mode);
    }
    return target;
  }
  target.error_number = ELOOP;
  return target;
}

tfile_target replaceable_file_target(const std::string& path)
{
  tfile_target target = regular_file_target(path);
  if (target.error_number != 0 || !target.exists) return target;
  struct stat status {};
  if (::stat(target.path.c_str(), &status) != 0) {
    target.error_number = errno;
  } else if ((status.st_mode & 0222) == 0) {
    target.error_number = EACCES;  // even for root: the operator protected it
  } else if (::access(target.path.c_str(), W_OK) != 0) {
    target.error_number = errno;
  }
  return target;
}

tread_descriptor::tread_descriptor(const std::string& path)
{
  const tfile_target target = regular_file_target(path);
  if (target.error_number != 0 || !target.exists) {
    error_number_ = target.error_number != 0 ? target.error_number : ENOENT;
    return;
  }
  // Non-blocking and not following a link, in case the path was changed
  // into a pipe or a link since it was looked at.
  descriptor_ = ::open(target.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (descriptor_ < 0) {
    error_number_ = errno;
    return;
  }
  struct stat status {};
  const bool status_known = ::fstat(descriptor_, &status) == 0;
  if (!status_known || !S_ISREG(status.st_mode)) {
    error_number_ = status_known ? kind_error(status.st_mode) : errno;
    ::close(descriptor_);
    descriptor_ = -1;
  }
}

tread_descriptor::~tread_descriptor()
{
  if (descriptor_ >= 0) ::close(descriptor_);
}

ssize_t tread_descriptor::read_some(char* data, std::size_t size) const
{
  for (;;) {
    const ssize_t count = ::read(descriptor_, data, size);
    if (count >= 0 || errno != EINTR) return count;
  }
}

int write_all(int descriptor, const char* data, std::size_t size)
{
  std::size_t written = 0;
  while (written < size) {
    const ssize_t count = ::write(descriptor, data + written, size - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    written += static_cast<std::size_t>(count);
  }
  return 0;
}

tfile_identity file_identity(const std::string& path)
{
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) ? identity_of(status) : tfile_identity{};
}

void keep_identity(const std::string& path, const tfile_identity& identity)
{
  if (!identity.known) return;
  const tdescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (file.valid()) keep_owner_and_mode(file.get(), identity);
}

int replace_regular_file(const std::string& path, const std::function<int(int descriptor)>& write_contents)
{
  const tfile_target target = replaceable_file_target(path);
  if (target.error_number != 0) return target.error_number;
  const tfile_identity identity = target.exists ? file_identity(target.path) : tfile_identity{};

  remove_stale_temporaries(target.path);
  ttemporary_file temporary(target.path);
  if (temporary.error_number() != 0) return temporary.error_number();
  if (identity.known) keep_owner_and_mode(temporary.descriptor(), identity);
  if (const int written = write_contents(temporary.descriptor()); written != 0) return written;
  if (const int placed = temporary.put_in_place(); placed != 0) return placed;
  sync_directory(directory_of(target.path));
  return 0;
}

tfile_text read_regular_text(const std::string& path, std::size_t largest)
{
  tfile_text read;
  const tread_descriptor file(path);
  read.error_number = file.error_number();
  if (read.error_number != 0) return read;
  std::array<char, 65536> block{};
  for (;;) {
    const ssize_t count = file.read_some(block.data(), block.size());
    if (count < 0) {
      read.error_number = errno;
      read.text.clear();
      return read;
    }
    if (count == 0) return read;
    const auto size = static_cast<std::size_t>(count);
    if (read.text.size() + size > largest) {
      read.too_large = true;
      read.text.clear();
      return read;
    }
    read.text.append(block.data(), size);
  }
}

}  // namespace lcr
