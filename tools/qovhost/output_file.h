// Writing an output file all or nothing: the bytes go to a temporary file in the same
// directory, which replaces the target only once it is complete.
#pragma once

#include <cstdio>
#include <string>

namespace qov::qovhost {

class OutputFile {
 public:
  // Throws CommandError when the directory cannot take a new file.
  explicit OutputFile(std::string path);
  // Removes the temporary file unless commit() succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::FILE* stream() const { return stream_; }
  const std::string& path() const { return path_; }
  // Flushes, closes and renames the temporary file over the target; throws CommandError.
  void commit();

 private:
  void discard();

  std::string path_;
  std::string temporaryPath_;
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
};

}  // namespace qov::qovhost
