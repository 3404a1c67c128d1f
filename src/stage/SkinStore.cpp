#include "stage/SkinStore.h"

#include "platform/AppPaths.h"
#include "platform/UserDefaults.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace stage {

namespace {

const QString kDefaultID = QStringLiteral("default");
const QString kDuvedivID = QStringLiteral("duvediv-oduv");

// Skin files are a few hundred bytes; anything this big is not one.
constexpr qint64 kMaxSkinFileBytes = 1024 * 1024;

// One skin file of a folder, or nothing when it is not a readable skin.
std::optional<UISkin> readSkinFile(const QFileInfo &info)
{
    if (info.suffix().toLower() != u"json")
        return std::nullopt;
    const QString base = info.completeBaseName().toLower();
    if (base == u"color-presets" || base == u"readme")
        return std::nullopt;
    QFile file(info.filePath());
    if (info.size() > kMaxSkinFileBytes || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return UISkin::fromJson(file.readAll());
}

QFileInfoList listFolder(const QString &path)
{
    if (path.isEmpty())
        return {};
    // Hidden files too; sorted by name so the order is the same at every launch.
    return QDir(path).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                    QDir::Name);
}

qsizetype indexOfID(const QList<UISkin> &skins, const QString &id)
{
    for (qsizetype i = 0; i < skins.size(); ++i) {
        if (skins.at(i).id == id)
            return i;
    }
    return -1;
}

} // namespace

SkinStore::Sources SkinStore::defaultSources()
{
    return {QStringLiteral(":/skins"),
            QDir(platform::AppPaths::supportDirectory()).filePath(QStringLiteral("skins"))};
}

SkinStore::SkinStore(const Sources &sources, QObject *parent)
    : QObject(parent)
{
    // The stored choice is read without writing it back.
    const QString stored = platform::UserDefaults::string(QString::fromLatin1(platform::UserDefaults::kSkinId));
    m_selectedID = stored.isNull() ? kDefaultID : stored;
    reload(sources);
}

SkinStore &SkinStore::shared()
{
    static SkinStore *store = new SkinStore(defaultSources());
    return *store;
}

void SkinStore::setSelectedID(const QString &id)
{
    platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kSkinId), id);
    if (id == m_selectedID)
        return;
    m_selectedID = id;
    emit selectedIDChanged(id);
    emit changed();
}

UISkin SkinStore::current() const
{
    qsizetype i = indexOfID(m_skins, m_selectedID);
    if (i < 0)
        i = indexOfID(m_skins, kDefaultID);
    return i >= 0 ? m_skins.at(i) : UISkin::steel();
}

void SkinStore::select(const QString &id)
{
    if (indexOfID(m_skins, id) < 0)
        return;
    setSelectedID(id);
    emit changed();
}

bool SkinStore::ordersBefore(const UISkin &a, const UISkin &b)
{
    // "default" leads; it never orders before itself, which a sort may ask.
    if (a.id == kDefaultID)
        return b.id != kDefaultID;
    if (b.id == kDefaultID)
        return false;
    if (a.isLight() != b.isLight())
        return !a.isLight();
    static const QCollator collator = [] {
        QCollator c{QLocale()};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator.compare(a.name, b.name) < 0;
}

void SkinStore::reload(const Sources &sources)
{
    QList<UISkin> skins;

    // Resource skins: the first file of an id wins.
    for (const QFileInfo &info : listFolder(sources.resourceDirectory)) {
        std::optional<UISkin> skin = readSkinFile(info);
        if (skin && indexOfID(skins, skin->id) < 0)
            skins.append(std::move(*skin));
    }

    // User skins replace a skin of the same id where it stands.
    if (!sources.userDirectory.isEmpty())
        QDir().mkpath(sources.userDirectory);
    for (const QFileInfo &info : listFolder(sources.userDirectory)) {
        std::optional<UISkin> skin = readSkinFile(info);
        if (!skin)
            continue;
        const qsizetype i = indexOfID(skins, skin->id);
        if (i >= 0)
            skins[i] = std::move(*skin);
        else
            skins.append(std::move(*skin));
    }

    if (indexOfID(skins, kDefaultID) < 0)
        skins.prepend(UISkin::steel());
    if (indexOfID(skins, kDuvedivID) < 0)
        skins.append(UISkin::duvedivOduv());
    std::stable_sort(skins.begin(), skins.end(), &SkinStore::ordersBefore);

    m_skins = skins;
    emit skinsChanged();

    if (indexOfID(m_skins, m_selectedID) < 0)
        setSelectedID(kDefaultID);
}

} // namespace stage
