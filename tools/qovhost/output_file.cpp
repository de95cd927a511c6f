// Temporary-file-and-rename output, and direct output into devices and pipes.
#include "tools/qovhost/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/qovhost/command_error.h"

namespace qov::qovhost {
namespace {

constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
// The kernel's own limit on links followed in one path lookup.
constexpr int kMaxLinks = 40;

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

[[noreturn]] void fail(const std::string& path, int error) {
  throw CommandError("cannot write " + path + ": " + std::strerror(error));
}

// The path a chain of symbolic links ends at; the last one may point at a file that does
// not exist yet, which is then created there. Relative link contents are relative to the
// link's own directory.
std::string followLinks(const std::string& path) {
  std::string current = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat status;
    if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
    std::vector<char> link(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : PATH_MAX) + 1);
    const ssize_t length = ::readlink(current.c_str(), link.data(), link.size() - 1);
    if (length < 0) fail(path, errno);
    const std::string content(link.data(), static_cast<std::size_t>(length));
    current = content.rfind('/', 0) == 0 ? content : directoryOf(current) + "/" + content;
  }
  fail(path, ELOOP);
}

// mkstemp creates files readable by the owner only; a finished output keeps the
// permissions of the file it replaces, or gets those of any newly created file.
void applyPermissions(int fd, const std::string& target) {
  struct stat status;
  if (::stat(target.c_str(), &status) == 0) {
    ::fchmod(fd, status.st_mode & kPermissionBits);
    return;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, kNewFileMode & ~mask);
}

}  // namespace

bool isSpecialFile(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)), target_(followLinks(path_)) {
  struct stat status;
  if (::stat(target_.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
    openDirect();
  else
    openTemporary();
}

void OutputFile::openDirect() {
  // No O_CREAT: the target exists, and is a device, a pipe or a directory (which fails
  // here with "Is a directory").
  const int fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) fail(path_, errno);
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int error = errno;
    ::close(fd);
    fail(path_, error);
  }
}

void OutputFile::openTemporary() {
  std::string pattern = directoryOf(target_) + "/." + fileNameOf(target_) + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) fail(path_, errno);
  temporaryPath_ = name.data();
  applyPermissions(fd, target_);
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporaryPath_.c_str());
    fail(path_, error);
  }
}

OutputFile::~OutputFile() {
  if (!committed_) discard();
}

void OutputFile::discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
}

void OutputFile::commit() {
  errno = 0;
  int error = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) error = errno != 0 ? errno : EIO;
  if (std::fclose(stream_) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  stream_ = nullptr;
  if (error == 0 && !temporaryPath_.empty() && std::rename(temporaryPath_.c_str(), target_.c_str()) != 0)
    error = errno;
  if (error != 0) {
    discard();
    fail(path_, error);
  }
  committed_ = true;
}

}  // namespace qov::qovhost
