#include "platform/JsonPrefix.h"

#include <utility>

namespace platform {

namespace {

enum class Expect { Value, Key, Colon, CommaOrEnd };

// Where a prefix of the text can end.
struct Cut {
    qsizetype end = -1; // the text [0, end) is kept
    bool closeString = false;
};

// What closes the lists and objects that `prefix` leaves open, found once
// at the end: noted at every cut it would cost the depth each time.
QString closers(QStringView prefix)
{
    QString openers;
    bool inString = false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        const QChar c = prefix.at(i);
        if (inString) {
            if (c == u'\\')
                ++i;
            else if (c == u'"')
                inString = false;
        } else if (c == u'"') {
            inString = true;
        } else if (c == u'{' || c == u'[') {
            openers += c;
        } else if ((c == u'}' || c == u']') && !openers.isEmpty()) {
            openers.chop(1);
        }
    }
    QString out;
    for (qsizetype i = openers.size() - 1; i >= 0; --i)
        out += openers.at(i) == u'{' ? u'}' : u']';
    return out;
}

} // namespace

QString closedJsonPrefix(QStringView text)
{
    QString openers; // '{' and '[' still open
    Expect expect = Expect::Value;
    Cut cut;
    bool justOpened = false;
    // A whole value was read up to `at`: the text may end there.
    const auto complete = [&](qsizetype at) {
        expect = Expect::CommaOrEnd;
        cut = {at, false};
    };
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (openers.isEmpty() && cut.end >= 0)
            return {}; // a whole value with more after it: not cut short
        const bool afterOpener = std::exchange(justOpened, false);
        if (c == u'"') {
            qsizetype j = i + 1;
            qsizetype lastWhole = j; // before an escape cut in two
            bool closed = false;
            while (j < text.size()) {
                if (text.at(j) == u'"') {
                    closed = true;
                    break;
                }
                if (text.at(j) == u'\\') {
                    if (j + 1 < text.size() && text.at(j + 1) == u'u')
                        j += 6;
                    else
                        j += 2;
                    if (j <= text.size())
                        lastWhole = j;
                    continue;
                }
                ++j;
                lastWhole = j;
            }
            const bool isKey = expect == Expect::Key;
            if (!closed) {
                // The text ends in it. A value cut short keeps what came
                // of it; a key does not.
                if (expect == Expect::Value)
                    cut = {lastWhole, true};
                else if (!isKey)
                    return {};
                break;
            }
            i = j + 1;
            if (isKey)
                expect = Expect::Colon;
            else if (expect == Expect::Value)
                complete(i);
            else
                return {};
            continue;
        }
        if (c == u'{' || c == u'[') {
            if (expect != Expect::Value)
                return {};
            openers += c;
            ++i;
            expect = c == u'{' ? Expect::Key : Expect::Value;
            justOpened = true;
            cut = {i, false};
            continue;
        }
        if (c == u'}' || c == u']') {
            if (openers.isEmpty() || openers.back() != (c == u'}' ? u'{' : u'['))
                return {};
            // Only right after the opener or a whole value.
            if (expect != Expect::CommaOrEnd && !afterOpener)
                return {};
            openers.chop(1);
            ++i;
            complete(i);
            continue;
        }
        if (c == u':') {
            if (expect != Expect::Colon)
                return {};
            expect = Expect::Value;
            ++i;
            continue;
        }
        if (c == u',') {
            if (expect != Expect::CommaOrEnd || openers.isEmpty())
                return {};
            expect = openers.back() == u'{' ? Expect::Key : Expect::Value;
            ++i;
            continue;
        }
        // A number or a literal: whole only when something follows it.
        if (expect != Expect::Value)
            return {};
        qsizetype j = i;
        while (j < text.size() && (text.at(j).isLetterOrNumber() || text.at(j) == u'-' || text.at(j) == u'+'
                                   || text.at(j) == u'.'))
            ++j;
        if (j == i)
            return {};
        if (j >= text.size())
            break; // the text ends in it
        i = j;
        complete(i);
    }
    if (cut.end < 0)
        return {};
    QString out = text.first(cut.end).toString();
    const QString closing = closers(out);
    if (cut.closeString)
        out += u'"';
    return out + closing;
}

} // namespace platform
