// Temporary-file-and-rename output.
#include "tools/qovhost/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/qovhost/command_error.h"

namespace qov::qovhost {
namespace {

constexpr mode_t kNewFileMode = 0666;

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// mkstemp creates files readable by the owner only; a finished output gets the
// permissions any newly created file would get.
void applyUmask(int fd) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, kNewFileMode & ~mask);
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  std::string pattern = directoryOf(path_) + "/." + fileNameOf(path_) + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0)
    throw CommandError("cannot write " + path_ + ": " + std::strerror(errno));
  temporaryPath_ = name.data();
  applyUmask(fd);
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporaryPath_.c_str());
    throw CommandError("cannot write " + path_ + ": " + std::strerror(error));
  }
}

OutputFile::~OutputFile() {
  if (!committed_) discard();
}

void OutputFile::discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  ::unlink(temporaryPath_.c_str());
}

void OutputFile::commit() {
  errno = 0;
  int error = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) error = errno != 0 ? errno : EIO;
  if (std::fclose(stream_) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  stream_ = nullptr;
  if (error == 0 && std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) error = errno;
  if (error != 0) {
    discard();
    throw CommandError("cannot write " + path_ + ": " + std::strerror(error));
  }
  committed_ = true;
}

}  // namespace qov::qovhost
