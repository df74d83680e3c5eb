// How the KDE plugins run our programs: the installed program of the plugin's own prefix, with a time
// limit, its standard output kept and its failure said in one line. They parse nothing themselves.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace zaro::kde {

/// Runs `program` (a name in the plugin's prefix's bin folder) with `arguments` and returns what it
/// wrote on standard output when it exits 0 within the time limit, else nothing.
std::optional<QByteArray> runProgram(const QString& program, const QStringList& arguments);

}  // namespace zaro::kde
