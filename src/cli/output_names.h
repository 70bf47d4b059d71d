#pragma once
// Where the commands that write a file per sound put it, and the check that no two sounds of
// one run would write the same file.

#include <QString>
#include <QStringList>

#include <string>

namespace tonamira {

// IN with its extension replaced by `extension` (".png"), or the extension appended when IN
// has none, in IN's folder (no "./" added to a bare name).
QString OutputNextTo(const QString& in, const QString& extension);

// DIR/NAME`extension`, NAME being IN's file name without its extension; standard input ("-")
// is named "stdin".
QString OutputInFolder(const QString& dir, const QString& in, const QString& extension);

// "IN1 and IN2 would both write OUT" for the first two inputs whose outputs are the same
// file, or an empty string. outputs[i] belongs to inputs[i].
std::string SharedOutput(const QStringList& inputs, const QStringList& outputs);

}  // namespace tonamira
