// The test client of the KDE plugins, using them as Dolphin does (tests/system/test_kde.py runs it).
//   zaro-kde-client thumbnail PLUGIN SIZE FOLDER FILE...  KIO::PreviewJob with only PLUGIN enabled, through
//       kio-extras' thumbnail worker; each thumbnail goes to FOLDER/<file name>.png. Prints a line a file:
//       "NAME ok WIDTHxHEIGHT" or "NAME none".
//   zaro-kde-client metadata FILE...  KFileMetaData::ExtractorCollection's extractors for each file's type;
//       prints one JSON object a file: its type, the number of extractors and the properties they found.
#include <KFileItem>
#include <KFileMetaData/ExtractorCollection>
#include <KFileMetaData/PropertyInfo>
#include <KFileMetaData/SimpleExtractionResult>
#include <KIO/PreviewJob>

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QTextStream>
#include <QUrl>

#include <cstdio>

namespace {

int thumbnails(const QStringList& arguments)
{
    const QStringList plugins{arguments.at(0)};
    const int side = arguments.at(1).toInt();
    const QString folder = arguments.at(2);
    KFileItemList items;
    for (const QString& file : arguments.mid(3)) {
        items << KFileItem(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    }
    QTextStream out(stdout);
    auto* job = KIO::filePreview(items, QSize(side, side), &plugins);
    job->setScaleType(KIO::PreviewJob::Scaled);
    job->setIgnoreMaximumSize(true);
    QObject::connect(job, &KIO::PreviewJob::gotPreview, [&](const KFileItem& item, const QPixmap& pixmap) {
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        image.save(folder + QLatin1Char('/') + item.name() + QStringLiteral(".png"), "PNG");
        out << item.name() << " ok " << image.width() << 'x' << image.height() << Qt::endl;
    });
    QObject::connect(job, &KIO::PreviewJob::failed,
                     [&](const KFileItem& item) { out << item.name() << " none" << Qt::endl; });
    int status = 0;
    QObject::connect(job, &KJob::result, [&](KJob* done) {
        if (done->error() != 0) out << "job error: " << done->errorString() << Qt::endl;
        QCoreApplication::exit(status);
    });
    return QCoreApplication::exec();
}

int metadata(const QStringList& files)
{
    KFileMetaData::ExtractorCollection collection;
    QMimeDatabase types;
    QTextStream out(stdout);
    for (const QString& file : files) {
        const QString type = types.mimeTypeForFile(file).name();
        const QList<KFileMetaData::Extractor*> extractors = collection.fetchExtractors(type);
        QJsonObject properties;
        for (KFileMetaData::Extractor* extractor : extractors) {
            KFileMetaData::SimpleExtractionResult result(file, type, KFileMetaData::ExtractionResult::ExtractMetaData);
            extractor->extract(&result);
            const auto found = result.properties(KFileMetaData::PropertiesMapType::MultiMap);
            for (auto it = found.cbegin(); it != found.cend(); ++it) {
                const QVariant& value = it.value();
                const QJsonValue shown = value.userType() == QMetaType::QDateTime
                                           ? QJsonValue(value.toDateTime().toUTC().toString(Qt::ISODateWithMs))
                                       : value.userType() == QMetaType::Int ? QJsonValue(value.toInt())
                                                                            : QJsonValue(value.toString());
                properties.insert(KFileMetaData::PropertyInfo(it.key()).name(), shown);
            }
        }
        const QJsonObject line{{QStringLiteral("file"), QFileInfo(file).fileName()}, {QStringLiteral("type"), type},
                               {QStringLiteral("extractors"), static_cast<int>(extractors.size())},
                               {QStringLiteral("properties"), properties}};
        out << QJsonDocument(line).toJson(QJsonDocument::Compact) << Qt::endl;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() >= 4 && arguments.at(0) == QStringLiteral("thumbnail")) return thumbnails(arguments.mid(1));
    if (arguments.size() >= 2 && arguments.at(0) == QStringLiteral("metadata")) return metadata(arguments.mid(1));
    std::fputs("usage: zaro-kde-client thumbnail PLUGIN SIZE FOLDER FILE... | metadata FILE...\n", stderr);
    return 2;
}
