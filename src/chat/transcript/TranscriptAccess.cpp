#include "chat/transcript/TranscriptAccess.h"

#include "chat/markdown/ReaderText.h"
#include "chat/transcript/ApprovalCard.h"
#include "chat/transcript/LiveAssistantBlock.h"
#include "chat/transcript/MessageRow.h"
#include "chat/transcript/TranscriptView.h"
#include "glass/sheets/ReaderAccess.h"

#include <QAccessible>
#include <QObject>
#include <QPointer>
#include <QScrollBar>
#include <QSet>
#include <QUrl>
#include <QWindow>

#include <array>

namespace chat {

namespace {

// Who wrote a message, as the conversation's export names them.
QString author(model::MessageRole role)
{
    return role == model::MessageRole::User ? QStringLiteral("You") : QStringLiteral("Qirv");
}

TranscriptView *transcriptOf(const QWidget *widget)
{
    for (QWidget *w = widget ? widget->parentWidget() : nullptr; w; w = w->parentWidget()) {
        if (auto *view = qobject_cast<TranscriptView *>(w))
            return view;
    }
    return nullptr;
}

// A text a reader reads but cannot change, select or place a caret in.
class ReadOnlyText : public QAccessibleTextInterface {
public:
    virtual QString readerText() const = 0;

    void selection(int, int *start, int *end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override
    {
        const QString all = readerText();
        start = qBound(0, start, int(all.size()));
        end = end < 0 ? int(all.size()) : qBound(start, end, int(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return int(readerText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *start, int *end) const override
    {
        *start = *end = offset;
        return {};
    }
};

// Objects with no widget of their own, kept in Qt's cache under an id:
// their children are made when first asked for and go with them.
class ChildIds {
public:
    ~ChildIds() { clear(); }
    void clear()
    {
        for (QAccessible::Id id : std::exchange(m_ids, {})) {
            if (id)
                QAccessible::deleteAccessibleInterface(id);
        }
    }
    QAccessibleInterface *at(int index, int count, const std::function<QAccessibleInterface *()> &make)
    {
        if (index < 0 || index >= count)
            return nullptr;
        if (m_ids.size() < count)
            m_ids.resize(count, 0);
        if (!m_ids[index])
            m_ids[index] = QAccessible::registerAccessibleInterface(make());
        return QAccessible::accessibleInterface(m_ids[index]);
    }
    int indexOf(const QAccessibleInterface *child) const
    {
        const QAccessible::Id id = QAccessible::uniqueId(const_cast<QAccessibleInterface *>(child));
        return id ? int(m_ids.indexOf(id)) : -1;
    }

private:
    QList<QAccessible::Id> m_ids;
};

class TranscriptAccess;
TranscriptAccess *accessOf(TranscriptView *view);

// One part of a message: a paragraph, heading, list item, code card, table,
// cell or link. It has no place of its own on screen: it is where its
// message is.
class PartAccess : public QAccessibleInterface, public ReadOnlyText, public QAccessibleActionInterface {
public:
    PartAccess(QAccessible::Id parent, ReaderPart part, TranscriptView *view)
        : m_parent(parent), m_part(std::move(part)), m_view(view)
    {
    }

    bool isValid() const override { return m_view && QAccessible::accessibleInterface(m_parent); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::accessibleInterface(m_parent); }
    int childCount() const override { return int(m_part.parts.size()); }
    QAccessibleInterface *child(int index) const override
    {
        return m_children.at(index, childCount(), [this, index] {
            return new PartAccess(QAccessible::uniqueId(const_cast<PartAccess *>(this)),
                                  m_part.parts.at(index), m_view);
        });
    }
    int indexOfChild(const QAccessibleInterface *child) const override { return m_children.indexOf(child); }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        using Kind = ReaderPart::Kind;
        if (t == QAccessible::Name) {
            if (m_part.kind == Kind::Code)
                return m_part.label;
            // What a reader says for a link or an item before anything else.
            if (m_part.kind == Kind::Link || m_part.kind == Kind::ListItem || m_part.kind == Kind::Heading ||
                m_part.kind == Kind::Cell || m_part.kind == Kind::Label)
                return m_part.text;
        }
        // Where a link leads, as a reader's "where does it go" says.
        if (t == QAccessible::Description && m_part.kind == Kind::Link)
            return m_part.href;
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        const QAccessibleInterface *p = parent();
        return p ? p->rect() : QRect();
    }
    QAccessible::Role role() const override
    {
        switch (m_part.kind) {
        case ReaderPart::Kind::Paragraph:
            return QAccessible::Paragraph;
        case ReaderPart::Kind::Heading:
            return QAccessible::Heading;
        case ReaderPart::Kind::ListItem:
            return QAccessible::ListItem;
        case ReaderPart::Kind::Code:
            return QAccessible::Section;
        case ReaderPart::Kind::Table:
            return QAccessible::Table;
        case ReaderPart::Kind::Cell:
            return QAccessible::Cell;
        case ReaderPart::Kind::Link:
            return QAccessible::Link;
        case ReaderPart::Kind::Label:
            return QAccessible::StaticText;
        }
        return QAccessible::Paragraph;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (const QAccessibleInterface *p = parent())
            s = p->state();
        s.readOnly = true;
        s.focusable = false;
        s.focused = false;
        s.linked = m_part.kind == ReaderPart::Kind::Link;
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (type == QAccessible::ActionInterface && m_part.kind == ReaderPart::Kind::Link)
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }

    QString readerText() const override { return m_part.text; }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && m_view)
            m_view->openLink(QUrl(m_part.href));
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QAccessible::Id m_parent;
    ReaderPart m_part;
    QPointer<TranscriptView> m_view;
    mutable ChildIds m_children;
};

// One message of the list, whether its row is bound or not.
class MessageAccess : public QAccessibleInterface, public ReadOnlyText {
public:
    MessageAccess(TranscriptView *view, const QUuid &id) : m_view(view), m_id(id) {}

    // Valid until the list lets it go (after telling readers it went); a
    // message no longer listed reads as nothing meanwhile.
    bool isValid() const override { return !m_view.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return m_view ? QAccessible::queryAccessibleInterface(m_view) : nullptr;
    }
    int childCount() const override { return int(parts().size()) + (row() ? 1 : 0); }
    QAccessibleInterface *child(int index) const override
    {
        const int count = int(parts().size());
        if (index == count)
            return row() ? QAccessible::queryAccessibleInterface(row()) : nullptr;
        return m_children.at(index, count, [this, index] {
            return new PartAccess(QAccessible::uniqueId(const_cast<MessageAccess *>(this)), m_parts.at(index),
                                  m_view);
        });
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child && row() && child->object() == row())
            return int(parts().size());
        return m_children.indexOf(child);
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        const int i = index();
        if (t == QAccessible::Name && i >= 0)
            return author(m_view->itemMessage(i).role);
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override { return m_view ? m_view->itemScreenRect(index()) : QRect(); }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.readOnly = true;
        // Scrolled away: a reader still reads it, but it is not showing.
        s.offscreen = !(m_view && m_view->itemInView(index()));
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface *>(this) : nullptr;
    }
    QString readerText() const override
    {
        parts();
        return m_text;
    }

    const QUuid &id() const { return m_id; }

private:
    int index() const { return m_view ? m_view->itemIndex(m_id) : -1; }
    MessageRow *row() const { return m_view ? m_view->rowFor(m_id) : nullptr; }
    // Read again only when the message changed.
    const QList<ReaderPart> &parts() const
    {
        const int i = index();
        if (i < 0) {
            m_children.clear();
            m_parts.clear();
            m_text.clear();
            return m_parts;
        }
        const model::ChatMessage &message = m_view->itemMessage(i);
        if (m_read && message == *m_read)
            return m_parts;
        m_read = message;
        m_children.clear();
        const bool user = message.role == model::MessageRole::User;
        m_parts = ReaderText::parts(MessageRow::bodyText(message),
                                    user ? MarkdownRenderer::Mode::Plain : MarkdownRenderer::Mode::Markdown);
        m_text = ReaderText::join(m_parts);
        // The tools a reply asked for, after its text, as their chips name them.
        if (!user && message.toolCalls) {
            for (const model::ToolCallRecord &call : *message.toolCalls) {
                ReaderPart tool;
                tool.kind = ReaderPart::Kind::Label;
                tool.text = call.name;
                m_parts.append(std::move(tool));
            }
        }
        return m_parts;
    }

    QPointer<TranscriptView> m_view;
    QUuid m_id;
    mutable std::optional<model::ChatMessage> m_read;
    mutable QList<ReaderPart> m_parts;
    mutable QString m_text;
    mutable ChildIds m_children;
};

// The list: every message, the live reply and the approval card, in screen
// order; the welcome card when it shows; the scroll bar last.
class TranscriptAccess : public glass::ReaderWidget {
public:
    explicit TranscriptAccess(TranscriptView *view) : glass::ReaderWidget(view, QAccessible::List)
    {
        m_watch = {QObject::connect(view, &TranscriptView::readerItemsChanged, view, [this] { itemsChanged(); }),
                   QObject::connect(view, &TranscriptView::readerViewMoved, view, [this] { moved(); })};
    }
    ~TranscriptAccess() override
    {
        for (const QMetaObject::Connection &c : m_watch)
            QObject::disconnect(c);
        for (QAccessible::Id id : std::as_const(m_messages))
            QAccessible::deleteAccessibleInterface(id);
    }

    // Welcome card (while it shows), the items, the scroll bar's holder;
    // found by index, so a long list costs a reader no more than a short one.
    int childCount() const override { return welcome() + view()->itemCount() + 1; }
    QAccessibleInterface *child(int index) const override
    {
        TranscriptView *v = view();
        if (index < 0 || index >= childCount())
            return nullptr;
        if (index < welcome())
            return QAccessible::queryAccessibleInterface(v->welcomeSlot());
        const int i = index - welcome();
        if (i == v->itemCount())
            return QAccessible::queryAccessibleInterface(v->verticalScrollBar()->parentWidget());
        switch (v->itemKind(i)) {
        case TranscriptView::Kind::Message:
            return message(v->itemId(i));
        case TranscriptView::Kind::Live:
            return v->liveBlock() ? QAccessible::queryAccessibleInterface(v->liveBlock()) : nullptr;
        case TranscriptView::Kind::Approval:
            return v->approvalCard() ? QAccessible::queryAccessibleInterface(v->approvalCard()) : nullptr;
        }
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        TranscriptView *v = view();
        if (!child)
            return -1;
        if (const auto *m = dynamic_cast<const MessageAccess *>(child)) {
            const int i = v->itemIndex(m->id());
            return i < 0 ? -1 : welcome() + i;
        }
        const QObject *o = child->object();
        if (!o)
            return -1;
        if (o == v->welcomeSlot())
            return welcome() ? 0 : -1;
        if (o == v->verticalScrollBar()->parentWidget())
            return welcome() + v->itemCount();
        for (int i = v->itemCount() - 1; i >= 0; --i) {
            const TranscriptView::Kind kind = v->itemKind(i);
            if ((kind == TranscriptView::Kind::Live && o == v->liveBlock()) ||
                (kind == TranscriptView::Kind::Approval && o == v->approvalCard()))
                return welcome() + i;
        }
        return -1;
    }

    QAccessibleInterface *message(const QUuid &id) const
    {
        auto it = m_messages.constFind(id);
        if (it == m_messages.constEnd())
            it = m_messages.insert(id, QAccessible::registerAccessibleInterface(new MessageAccess(view(), id)));
        return QAccessible::accessibleInterface(*it);
    }

    // Messages no longer listed go; readers hear of what came and went
    // (while one is active: the view tells only then).
    void itemsChanged()
    {
        QList<QUuid> listed;
        for (int i = 0; i < view()->itemCount(); ++i) {
            if (view()->itemKind(i) == TranscriptView::Kind::Message)
                listed.append(view()->itemId(i));
        }
        const QSet<QUuid> now(listed.cbegin(), listed.cend());
        const QSet<QUuid> before(m_listed.cbegin(), m_listed.cend());
        QList<QUuid> gone, came;
        for (const QUuid &id : std::as_const(m_listed))
            if (!now.contains(id))
                gone.append(id);
        for (const QUuid &id : std::as_const(listed))
            if (!before.contains(id))
                came.append(id);
        m_listed = listed;
        // A few rows: one event each. Another conversation: the list anew.
        const bool few = gone.size() + came.size() <= 4;
        for (const QUuid &id : std::as_const(gone)) {
            m_shown.remove(id);
            const QAccessible::Id access = m_messages.take(id);
            if (!access)
                continue;
            if (few) {
                QAccessibleEvent event(QAccessible::accessibleInterface(access), QAccessible::ObjectDestroyed);
                QAccessible::updateAccessibility(&event);
            }
            QAccessible::deleteAccessibleInterface(access);
        }
        if (few) {
            for (const QUuid &id : std::as_const(came)) {
                QAccessibleEvent event(message(id), QAccessible::ObjectCreated);
                QAccessible::updateAccessibility(&event);
            }
        } else {
            QAccessibleEvent event(view(), QAccessible::ObjectReorder);
            QAccessible::updateAccessibility(&event);
        }
    }

    // Readers keep what they were told of an object's showing: messages
    // scrolled into or out of view tell them so (only bound rows can be in
    // view).
    void moved()
    {
        QSet<QUuid> shown;
        for (const QUuid &id : view()->boundMessages()) {
            if (view()->itemInView(view()->itemIndex(id)))
                shown.insert(id);
        }
        if (shown == m_shown)
            return;
        const auto tell = [this](const QUuid &id, QAccessible::Event type) {
            // An object no reader asked for has nothing to update.
            if (const QAccessible::Id access = m_messages.value(id)) {
                QAccessibleEvent event(QAccessible::accessibleInterface(access), type);
                QAccessible::updateAccessibility(&event);
            }
        };
        for (const QUuid &id : std::as_const(m_shown))
            if (!shown.contains(id))
                tell(id, QAccessible::ObjectHide);
        for (const QUuid &id : std::as_const(shown))
            if (!m_shown.contains(id))
                tell(id, QAccessible::ObjectShow);
        m_shown = std::move(shown);
    }

private:
    TranscriptView *view() const { return static_cast<TranscriptView *>(widget()); }

    int welcome() const { return view()->showsWelcome() ? 1 : 0; }

    mutable QHash<QUuid, QAccessible::Id> m_messages;
    QList<QUuid> m_listed;
    QSet<QUuid> m_shown;
    std::array<QMetaObject::Connection, 2> m_watch;
};

TranscriptAccess *accessOf(TranscriptView *view)
{
    return view ? dynamic_cast<TranscriptAccess *>(QAccessible::queryAccessibleInterface(view)) : nullptr;
}

// A widget listed by the transcript's own interface: its parent is what
// lists it, not the scrolled area it lies in.
class ListedWidget : public glass::ReaderWidget {
public:
    using glass::ReaderWidget::ReaderWidget;

    QAccessibleInterface *parent() const override
    {
        TranscriptView *view = transcriptOf(widget());
        if (auto *row = qobject_cast<MessageRow *>(widget())) {
            TranscriptAccess *list = accessOf(view);
            const QUuid id = view ? view->messageOf(row) : QUuid();
            return list && !id.isNull() ? list->message(id) : nullptr;
        }
        return view ? QAccessible::queryAccessibleInterface(view) : nullptr;
    }
};

// The reply being written: a text that grows, named as a finished reply.
class LiveAccess : public ListedWidget, public ReadOnlyText {
public:
    explicit LiveAccess(LiveAssistantBlock *block) : ListedWidget(block, QAccessible::ListItem) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return author(model::MessageRole::Assistant);
        return ListedWidget::text(t);
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return ListedWidget::interface_cast(type);
    }
    QString readerText() const override { return static_cast<LiveAssistantBlock *>(widget())->readerText(); }
};

} // namespace

QAccessibleInterface *accessibleTranscriptPart(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == u"chat::TranscriptView")
        return new TranscriptAccess(static_cast<TranscriptView *>(object));
    if (className == u"chat::MessageRow")
        return new ListedWidget(static_cast<QWidget *>(object));
    if (className == u"chat::LiveAssistantBlock")
        return new LiveAccess(static_cast<LiveAssistantBlock *>(object));
    // The card is read as a dialog: its name, then what it asks (the tool,
    // what it writes or runs), then its buttons.
    if (className == u"chat::ApprovalCard")
        return new ListedWidget(static_cast<QWidget *>(object), QAccessible::Dialog);
    if (className == u"QWidget" && object->objectName() == u"welcomeSlot" &&
        transcriptOf(static_cast<QWidget *>(object)))
        return new ListedWidget(static_cast<QWidget *>(object));
    return nullptr;
}

void installTranscriptAccess()
{
    QAccessible::installFactory(accessibleTranscriptPart);
}



} // namespace chat
