// The KFileMetaData extractor: what Dolphin's information panel shows of a session file and what the
// desktop's search (Baloo) indexes. It reads `zaro-session summary --json FILE`, run as a program of its
// own: nothing is parsed in the indexer's process. It claims our session types only, not text/csv, so
// that other CSV files keep the plain-text extractor that indexes their words.
#include <KFileMetaData/ExtractionResult>
#include <KFileMetaData/ExtractorPlugin>
#include <KFileMetaData/Properties>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

#include "plugin_config.hpp"
#include "program.hpp"

namespace {

QDateTime instant(const QJsonValue& value)
{
    QDateTime when = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return when.isValid() ? when : QDateTime();
}

// "Best lap 1:31.264 · 3 laps · 14.99 km", from the card's own texts.
QString description(const QJsonObject& session, const QJsonObject& display)
{
    const QString separator = QStringLiteral(" \u00b7 ");
    QStringList parts;
    if (session.value(QStringLiteral("bestLapSec")).isDouble()) {
        parts << QStringLiteral("Best lap ") + display.value(QStringLiteral("bestLap")).toString();
    }
    const int laps = session.value(QStringLiteral("lapCount")).toInt();
    parts << QString::number(laps) + (laps == 1 ? QStringLiteral(" lap") : QStringLiteral(" laps"));
    const QString distance = display.value(QStringLiteral("distance")).toString();
    if (!distance.isEmpty()) parts << distance;
    return parts.join(separator);
}

class ZaroSessionExtractor : public KFileMetaData::ExtractorPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.kde.kf5.kfilemetadata.ExtractorPlugin" FILE "zarosession_extractor.json")
    Q_INTERFACES(KFileMetaData::ExtractorPlugin)

public:
    explicit ZaroSessionExtractor(QObject* parent = nullptr) : ExtractorPlugin(parent) {}

    QStringList mimetypes() const override
    {
        return QStringLiteral(ZARO_KDE_SESSION_TYPES).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }

    void extract(KFileMetaData::ExtractionResult* result) override
    {
        using KFileMetaData::Property::Property;
        if (!(result->inputFlags() & KFileMetaData::ExtractionResult::ExtractMetaData)) return;
        const std::optional<QByteArray> json = zaro::kde::runProgram(
            QStringLiteral("zaro-session"),
            {QStringLiteral("summary"), QStringLiteral("--json"), QStringLiteral("--"), result->inputUrl()});
        if (!json) return;  // not a session it can read: nothing to say
        const QJsonObject session = QJsonDocument::fromJson(*json).object();
        if (session.isEmpty() || session.contains(QStringLiteral("error"))) return;
        const QJsonObject display = session.value(QStringLiteral("display")).toObject();

        QString title = session.value(QStringLiteral("trackName")).toString();
        const QString configuration = session.value(QStringLiteral("configuration")).toString();
        if (!configuration.isEmpty()) title += QStringLiteral(" \u00b7 ") + configuration;
        if (!title.isEmpty()) result->add(Property::Title, title);

        const QDateTime started = instant(session.value(QStringLiteral("startedAt")));
        const QDateTime ended = instant(session.value(QStringLiteral("endedAt")));
        if (started.isValid()) result->add(Property::CreationDate, started);
        if (started.isValid() && ended.isValid() && ended >= started) {
            result->add(Property::Duration, static_cast<int>((started.msecsTo(ended) + 500) / 1000));
        }
        const QString source = session.value(QStringLiteral("dataSource")).toString();
        if (!source.isEmpty()) result->add(Property::Generator, source);
        const QString driver = session.value(QStringLiteral("driver")).toString();
        if (!driver.isEmpty()) result->add(Property::Author, driver);
        result->add(Property::Description, description(session, display));
    }
};

}  // namespace

#include "metadata_extractor.moc"
