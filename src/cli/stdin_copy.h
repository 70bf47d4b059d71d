#pragma once
// Standard input ("-" among analyze's files) kept in a temporary file while it is analysed:
// the readers seek through what they read, which a pipe cannot do.

#include <QTemporaryFile>

#include <filesystem>
#include <istream>
#include <string>

namespace tonamira {

class StdinCopy {
 public:
  // Copies everything `in` holds; ok() is false when the copy could not be written.
  explicit StdinCopy(std::istream& in);

  bool ok() const { return ok_; }
  const std::string& message() const { return message_; }
  // The copy; removed when this object is.
  std::filesystem::path path() const;

 private:
  QTemporaryFile file_;
  bool ok_ = false;
  std::string message_;
};

}  // namespace tonamira
