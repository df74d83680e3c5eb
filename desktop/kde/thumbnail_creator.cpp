// The KIO thumbnail plugins: Dolphin's thumbnails and its information panel's picture of a session file,
// drawn by the confined zaro-session-thumbnailer. One source, two plugins: the brand mark, and the
// session's track (ZARO_TRACK_STYLE). A file the thumbnailer refuses (any CSV file that is not a
// session) gets no thumbnail, so it keeps its icon.
#include <KConfigGroup>
#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <KSharedConfig>

#include <QImage>

#include "program.hpp"

namespace {

#if ZARO_TRACK_STYLE
// Dolphin offers every preview plugin, and with both of ours ticked (as they are until the user chooses)
// either may be asked. The track is drawn only when the user has unticked the mark in Dolphin's preview
// settings; until then this plugin draws the mark too, so the mark is what a new user sees.
bool trackChosen()
{
    const KConfigGroup settings(KSharedConfig::openConfig(QStringLiteral("dolphinrc"), KConfig::NoGlobals),
                                QStringLiteral("PreviewSettings"));
    return settings.hasKey("Plugins")
        && !settings.readEntry("Plugins", QStringList()).contains(QStringLiteral("zarosessionthumbnail"));
}
#endif

class ZaroSessionThumbnail : public KIO::ThumbnailCreator {
public:
    ZaroSessionThumbnail(QObject* parent, const QVariantList& args) : KIO::ThumbnailCreator(parent, args) {}

    KIO::ThumbnailResult create(const KIO::ThumbnailRequest& request) override
    {
        const QString path = request.url().toLocalFile();
        const int side = qMax(request.targetSize().width(), request.targetSize().height());
        if (path.isEmpty() || side < 1) return KIO::ThumbnailResult::fail();
        QStringList arguments;
#if ZARO_TRACK_STYLE
        if (trackChosen()) arguments << QStringLiteral("--style") << QStringLiteral("track");
#endif
        arguments << QStringLiteral("-s") << QString::number(qMin(side, 4096)) << QStringLiteral("--") << path
                  << QStringLiteral("-");
        const std::optional<QByteArray> png =
            zaro::kde::runProgram(QStringLiteral("zaro-session-thumbnailer"), arguments);
        QImage image;
        if (!png || !image.loadFromData(*png, "PNG")) return KIO::ThumbnailResult::fail();
        return KIO::ThumbnailResult::pass(image);
    }
};

}  // namespace

K_PLUGIN_CLASS_WITH_JSON(ZaroSessionThumbnail, "zarosession_thumbnail.json")

#include "thumbnail_creator.moc"
