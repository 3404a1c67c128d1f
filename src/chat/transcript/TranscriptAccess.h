#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace chat {

// What a screen reader finds in the conversation. The list is a list of
// every message in screen order, rows scrolled away included: each is a
// list item named after who wrote it ("You", "Qirv"), whose text is the
// message as read (see ReaderText) and whose children are its parts
// (headings, list items, code cards, tables and their cells, links), the
// tools it asked for and, while its row is bound, the row's buttons. The
// live reply and the approval card are listed where they show. A message
// keeps its object (and so its path on the bus) while it is listed.
// Nothing here runs until a reader asks.
void installTranscriptAccess();
QAccessibleInterface *accessibleTranscriptPart(const QString &className, QObject *object);

} // namespace chat
