#include "cli/output_names.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include "cli/options.h"

namespace tonamira {
namespace {

QString BaseName(const QString& in) {
  const QFileInfo info(in);
  return info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
}

}  // namespace

QString OutputNextTo(const QString& in, const QString& extension) {
  const QString dir = QFileInfo(in).path();
  return (dir == "." && !in.startsWith("./") ? QString() : dir + "/") + BaseName(in) + extension;
}

QString OutputInFolder(const QString& dir, const QString& in, const QString& extension) {
  const QString name = in == "-" ? QStringLiteral("stdin") : BaseName(in);
  return (dir.endsWith('/') ? dir : dir + "/") + name + extension;
}

std::string SharedOutput(const QStringList& inputs, const QStringList& outputs) {
  QHash<QString, qsizetype> seen;  // the output's clean absolute path, the input writing it
  for (qsizetype i = 0; i < outputs.size(); ++i) {
    const QString key = QDir::cleanPath(QFileInfo(outputs[i]).absoluteFilePath());
    const auto first = seen.constFind(key);
    if (first != seen.constEnd())
      return LocalName(inputs[*first]) + " and " + LocalName(inputs[i]) + " would both write " +
             LocalName(outputs[i]);
    seen.insert(key, i);
  }
  return {};
}

}  // namespace tonamira
