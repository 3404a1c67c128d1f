#include "chat/composer/AttachmentThumbnails.h"

#include "model/AttachmentTempStore.h"
#include "platform/RegularFile.h"

#include <QBuffer>
#include <QCoroFuture>
#include <QImageReader>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace chat {

AttachmentThumbnails::AttachmentThumbnails(QObject *parent) : QObject(parent) {}

QImage AttachmentThumbnails::decode(const QString &path, int side)
{
    if (side <= 0)
        return {};
    // Opened without blocking and refused unless regular: the staged copy
    // could have been swapped for a FIFO.
    auto read = platform::readRegularFile(path, model::AttachmentTempStore::kMaxFileBytes + 1);
    if (!read || read.value().bytes.size() > model::AttachmentTempStore::kMaxFileBytes)
        return {};
    QByteArray bytes = std::move(read).value().bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() && !size.isEmpty()) {
        // Exif rotation swaps the sides the reader reports.
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            size.transpose();
        const QSize cover = size.scaled(side, side, Qt::KeepAspectRatioByExpanding);
        if (cover.width() < size.width())
            reader.setScaledSize(reader.transformation() & QImageIOHandler::TransformationRotate90 ? cover.transposed()
                                                                                                   : cover);
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    image = image.scaled(side, side, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect crop((image.width() - side) / 2, (image.height() - side) / 2, side, side);
    return image.copy(crop).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

AttachmentThumbnails::State AttachmentThumbnails::request(const QUuid &id, const QUrl &url, int side)
{
    auto it = m_entries.find(id);
    if (it != m_entries.end() && it->url == url && it->side >= side)
        return it->state;
    Entry entry;
    entry.url = url;
    entry.side = side;
    entry.state = State::Loading;
    entry.ticket = ++m_tickets;
    m_entries.insert(id, entry);
    ++m_decodes;
    load(id, url.toLocalFile(), side, entry.ticket);
    return m_entries.value(id).state;
}

QCoro::Task<> AttachmentThumbnails::load(QUuid id, QString path, int side, quint64 ticket)
{
    QPointer<AttachmentThumbnails> self(this);
    auto decoding = QtConcurrent::run([path, side] { return decode(path, side); });
    const QImage image = co_await decoding;
    if (!self)
        co_return;
    auto it = self->m_entries.find(id);
    // Forgotten or asked again meanwhile: this result is stale.
    if (it == self->m_entries.end() || it->ticket != ticket)
        co_return;
    it->image = image;
    it->state = image.isNull() ? State::Failed : State::Ready;
    emit self->ready(id);
}

QImage AttachmentThumbnails::image(const QUuid &id) const
{
    return m_entries.value(id).image;
}

AttachmentThumbnails::State AttachmentThumbnails::state(const QUuid &id) const
{
    const auto it = m_entries.constFind(id);
    return it == m_entries.constEnd() ? State::Missing : it->state;
}

void AttachmentThumbnails::keepOnly(const QList<QUuid> &ids)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (ids.contains(it.key()))
            ++it;
        else
            it = m_entries.erase(it);
    }
}

} // namespace chat
