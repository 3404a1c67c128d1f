#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

namespace model {

// Appends indented JSON to a byte array: two spaces per level and
// "key" : value, keys written in the order the caller gives them. Written by
// hand so a pre-encoded value (a cached conversation) can be dropped in at
// any depth without re-indenting it.
class JsonEmitter {
public:
    // baseDepth: the nesting level of the first value written, for fragments
    // that will sit inside an outer document.
    explicit JsonEmitter(QByteArray &out, int baseDepth = 0) : m_out(out), m_baseDepth(baseDepth) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(QByteArrayView name); // name must need no escaping

    void string(const QString &text);
    void utf8String(QByteArrayView utf8); // must already be valid UTF-8
    void boolean(bool value);
    // A complete value encoded elsewhere at this emitter's current depth.
    void raw(QByteArrayView encoded);

private:
    void beforeValue();
    void close(char bracket);
    void newline(int depth);
    int depth() const { return m_baseDepth + static_cast<int>(m_stack.size()); }

    struct Level {
        bool isObject;
        bool empty = true;
    };
    QByteArray &m_out;
    int m_baseDepth;
    std::vector<Level> m_stack;
    bool m_afterKey = false;
};

// Append text as a JSON string literal (quotes included).
void appendJsonString(QByteArray &out, QByteArrayView utf8);
void appendJsonString(QByteArray &out, QStringView text);

} // namespace model
