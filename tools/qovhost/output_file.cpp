// Temporary-file-and-rename output, and direct output into devices and pipes.
#include "tools/qovhost/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/stop_signals.h"

namespace qov::qovhost {
namespace {

constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
// The kernel's own limit on links followed in one path lookup.
constexpr int kMaxLinks = 40;
constexpr const char* kOwnDescriptors = "/proc/self/fd";
constexpr int kNoDescriptor = -1;

struct Target {
  std::string path;
  int descriptor;  // kNoDescriptor unless the path names an open descriptor
};

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

// The directory whose entries are this process's open descriptors, as the kernel names it
// (/proc/self/fd and /dev/fd lead there).
std::string descriptorDirectory() {
  char resolved[PATH_MAX];
  return ::realpath(kOwnDescriptors, resolved) != nullptr ? resolved : std::string();
}

// The descriptor an entry of that directory stands for, or kNoDescriptor.
int descriptorNamed(const std::string& path, const std::string& descriptors) {
  char resolved[PATH_MAX];
  if (descriptors.empty() || ::realpath(directoryOf(path).c_str(), resolved) == nullptr || descriptors != resolved)
    return kNoDescriptor;
  const std::string name = fileNameOf(path);
  int descriptor = 0;
  const auto result = std::from_chars(name.data(), name.data() + name.size(), descriptor);
  return result.ec == std::errc() && result.ptr == name.data() + name.size() ? descriptor : kNoDescriptor;
}

// Where a chain of symbolic links ends: a path (the last link may point at a file that
// does not exist yet, which is then created there; relative link contents are relative to
// the link's own directory), or one of this process's open descriptors. The kernel's
// descriptor entries are links whose contents ("pipe:[N]", a deleted file's name) need
// not be paths at all, and a file behind one may be shared with whoever opened it, so they
// are written through the descriptor itself.
Target followLinks(const std::string& path) {
  const std::string descriptors = descriptorDirectory();
  std::string current = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    const int descriptor = descriptorNamed(current, descriptors);
    if (descriptor != kNoDescriptor) return {current, descriptor};
    struct stat status;
    if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return {current, kNoDescriptor};
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

bool isWrittenDirectly(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) return true;
  try {
    return followLinks(path).descriptor != kNoDescriptor;
  } catch (const CommandError&) {
    return false;
  }
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  const Target target = followLinks(path_);
  target_ = target.path;
  struct stat status;
  if (target.descriptor != kNoDescriptor)
    openDescriptor(target.descriptor);
  else if (::stat(target_.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
    openDirect();
  else
    openTemporary();
}

void OutputFile::openDescriptor(int descriptor) {
  // A copy of the descriptor shares its file position, so that what the shell or an
  // earlier command wrote there stays before the picture.
  const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) fail(path_, errno);
  openStream(fd);
}

void OutputFile::openDirect() {
  // No O_CREAT: the target exists, and is a device, a pipe or a directory (which fails
  // here with "Is a directory").
  const int fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) fail(path_, errno);
  openStream(fd);
}

void OutputFile::openStream(int fd) {
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
  int fd = -1;
  {
    const auto held = holdStopSignals();
    fd = ::mkstemp(name.data());
    if (fd >= 0) removeWhenStopped(name.data());
  }
  if (fd < 0) fail(path_, errno);
  temporaryPath_ = name.data();
  applyPermissions(fd, target_);
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int error = errno;
    ::close(fd);
    discard();
    fail(path_, error);
  }
}

OutputFile::~OutputFile() {
  if (!committed_) discard();
}

void OutputFile::discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (temporaryPath_.empty()) return;
  const auto held = holdStopSignals();
  ::unlink(temporaryPath_.c_str());
  removeWhenStopped(std::string());
}

void OutputFile::commit() {
  errno = 0;
  int error = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) error = errno != 0 ? errno : EIO;
  if (std::fclose(stream_) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  stream_ = nullptr;
  if (error == 0 && !temporaryPath_.empty()) {
    const auto held = holdStopSignals();
    if (std::rename(temporaryPath_.c_str(), target_.c_str()) == 0)
      removeWhenStopped(std::string());
    else
      error = errno;
  }
  if (error != 0) {
    discard();
    fail(path_, error);
  }
  committed_ = true;
}

}  // namespace qov::qovhost
