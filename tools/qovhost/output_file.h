// Writing an output file all or nothing: the bytes go to a temporary file in the same
// directory, which replaces the target only once it is complete. A symbolic link is
// followed, so that the file it points to is replaced and the link stays; a target that
// is not a regular file (a device, a pipe) is written directly, as any program would, and
// a name of an open descriptor (/dev/stdout, /dev/fd/N, /proc/self/fd/N) is written
// through that descriptor, whatever it leads to.
#pragma once

#include <cstdio>
#include <string>

namespace qov::qovhost {

class OutputFile {
 public:
  // Throws CommandError when the directory cannot take a new file or the device or pipe
  // cannot be opened.
  explicit OutputFile(std::string path);
  // Removes the temporary file unless commit() succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::FILE* stream() const { return stream_; }
  const std::string& path() const { return path_; }
  // Flushes and closes the stream and renames the temporary file over the target;
  // throws CommandError.
  void commit();

 private:
  void discard();
  void openTemporary();
  void openDirect();
  void openDescriptor(int descriptor);
  void openStream(int fd);

  std::string path_;          // as the user named it, for messages
  std::string target_;         // the file that is replaced, with symbolic links followed
  std::string temporaryPath_;  // empty when the target is written directly
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
};

// True when `path` is written directly rather than replaced: it names (through any
// symbolic links) a device or a pipe, or an open descriptor.
bool isWrittenDirectly(const std::string& path);

}  // namespace qov::qovhost
