#include "cli/stdin_copy.h"

#include <QDir>
#include <QFile>

#include <vector>

namespace tonamira {

StdinCopy::StdinCopy(std::istream& in)
    : file_(QDir::tempPath() + "/tonamira-cli-stdin-XXXXXX") {
  if (!file_.open()) {
    message_ = "cannot keep standard input: " + file_.errorString().toStdString();
    return;
  }
  std::vector<char> block(1 << 16);
  for (;;) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const std::streamsize got = in.gcount();
    if (got > 0 && file_.write(block.data(), got) != got) {
      message_ = "cannot keep standard input: " + file_.errorString().toStdString();
      return;
    }
    if (!in) break;
  }
  if (in.bad()) {
    message_ = "standard input could not be read";
    return;
  }
  if (!file_.flush()) {
    message_ = "cannot keep standard input: " + file_.errorString().toStdString();
    return;
  }
  ok_ = true;
}

std::filesystem::path StdinCopy::path() const {
  const QByteArray name = QFile::encodeName(file_.fileName());
  return std::string(name.constData(), static_cast<size_t>(name.size()));
}

}  // namespace tonamira
