#include "program.hpp"

#include <dlfcn.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "plugin_config.hpp"

namespace zaro::kde {

namespace {

constexpr int timeLimitMs = 20000;

// The bin folder of the prefix the plugin is installed in: the plugin lies in PREFIX/<qt plugins>/<namespace>.
QString binFolder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&binFolder), &info) == 0 || !info.dli_fname) {
        return QStringLiteral(ZARO_KDE_INSTALLED_BINDIR);
    }
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath() + QLatin1Char('/')
         + QStringLiteral(ZARO_KDE_BINDIR_FROM_PLUGIN);
}

}  // namespace

std::optional<QByteArray> runProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QDir::cleanPath(binFolder() + QLatin1Char('/') + program), arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(timeLimitMs)) return std::nullopt;
    if (!process.waitForFinished(timeLimitMs)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return std::nullopt;
    return process.readAllStandardOutput();
}

}  // namespace zaro::kde
