#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QUrl>
#include <QUuid>

#include <qcoro/qcorotask.h>

namespace chat {

// Thumbnails of staged images, each decoded once, on a worker, at the size
// it is shown, and kept until its attachment goes. A file that cannot be
// read or decoded is remembered as such (its chip shows a symbol).
class AttachmentThumbnails : public QObject {
    Q_OBJECT
public:
    enum class State { Missing, Loading, Ready, Failed };

    explicit AttachmentThumbnails(QObject *parent = nullptr);

    // The thumbnail of the image at url for attachment id, filling a square
    // of side device pixels (cropped to it). Starts the decoding on first use.
    State request(const QUuid &id, const QUrl &url, int side);
    QImage image(const QUuid &id) const;
    State state(const QUuid &id) const;
    // Forgets every thumbnail but these attachments'.
    void keepOnly(const QList<QUuid> &ids);
    // How many decodings were started, for tests and benchmarks.
    int decodeCount() const { return m_decodes; }

    // Reads at most the staging limit of a regular file and decodes it
    // scaled to cover a side × side square, cropped to it. Null on failure.
    static QImage decode(const QString &path, int side);

signals:
    void ready(const QUuid &id);

private:
    struct Entry {
        QUrl url;
        int side = 0;
        State state = State::Missing;
        QImage image;
        quint64 ticket = 0;
    };
    QCoro::Task<> load(QUuid id, QString path, int side, quint64 ticket);

    QHash<QUuid, Entry> m_entries;
    quint64 m_tickets = 0;
    int m_decodes = 0;
};

} // namespace chat
