#include "AccessibleItem.h"

#include <QQuickItem>
#include <QSet>

namespace {

// Set while Qt Quick's factory makes the interface that ours wraps.
bool makingInner = false;

QAccessibleInterface* Factory(const QString& /*className*/, QObject* object)
{
    if (makingInner || qobject_cast<QQuickItem*>(object) == nullptr) {
        return nullptr;
    }
    makingInner = true;
    QAccessibleInterface* inner = QAccessible::queryAccessibleInterface(object);
    makingInner = false;
    return inner ? new AccessibleItem(inner) : nullptr;
}

} // namespace

void AccessibleItem::Install()
{
    QAccessible::installFactory(Factory);
    QAccessible::installUpdateHandler(Update);
}

void AccessibleItem::Update(QAccessibleEvent* event)
{
    // A password field's text events carry the characters typed: they go nowhere.
    static const QSet<QAccessible::Event> textEvents{QAccessible::TextInserted, QAccessible::TextRemoved,
                                                     QAccessible::TextUpdated, QAccessible::TextCaretMoved,
                                                     QAccessible::TextSelectionChanged};
    const QObject* object = event->object();
    if (object != nullptr && textEvents.contains(event->type()) && object->property("echoMode").toInt() > 0) {
        return;
    }
    // Without a handler, the event goes to the platform's bridge.
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(Update);
}

AccessibleItem::AccessibleItem(QAccessibleInterface* inner)
    : inner(inner), innerId(QAccessible::uniqueId(inner))
{
    // Screen readers keep the states they were told: a change of the enabled state is told to them.
    if (auto* item = qobject_cast<QQuickItem*>(inner->object())) {
        QObject::connect(item, &QQuickItem::enabledChanged, item, [item] {
            QAccessible::State changed;
            changed.disabled = true;
            QAccessibleStateChangeEvent event(item, changed);
            QAccessible::updateAccessibility(&event);
        });
    }
}

AccessibleItem::~AccessibleItem()
{
    // Qt's cache holds the inner interface under an id of its own; it goes with ours, unless the cache, which
    // deletes all of them at the end, has deleted it already.
    if (QAccessible::accessibleInterface(innerId) == inner) {
        QAccessible::deleteAccessibleInterface(innerId);
    }
}

bool AccessibleItem::isValid() const
{
    return inner->isValid();
}

QObject* AccessibleItem::object() const
{
    return inner->object();
}

QWindow* AccessibleItem::window() const
{
    return inner->window();
}

QVector<QPair<QAccessibleInterface*, QAccessible::Relation>>
AccessibleItem::relations(QAccessible::Relation match) const
{
    return inner->relations(match);
}

QAccessibleInterface* AccessibleItem::focusChild() const
{
    return inner->focusChild();
}

QAccessibleInterface* AccessibleItem::childAt(int x, int y) const
{
    return inner->childAt(x, y);
}

QAccessibleInterface* AccessibleItem::parent() const
{
    return inner->parent();
}

QAccessibleInterface* AccessibleItem::child(int index) const
{
    return inner->child(index);
}

int AccessibleItem::childCount() const
{
    return inner->childCount();
}

int AccessibleItem::indexOfChild(const QAccessibleInterface* child) const
{
    return inner->indexOfChild(child);
}

QString AccessibleItem::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && IsPopup()) {
        const QObject* popup = object()->parent();
        const QString name = popup->property("spokenName").toString();
        return name.isEmpty() ? popup->property("title").toString() : name;
    }
    if (IsPassword()) {
        if (t == QAccessible::Name) {
            return object()->property("placeholderText").toString();
        }
        if (t == QAccessible::Value) {
            return QString();
        }
    }
    return inner->text(t);
}

void AccessibleItem::setText(QAccessible::Text t, const QString& text)
{
    inner->setText(t, text);
}

QRect AccessibleItem::rect() const
{
    return inner->rect();
}

QAccessible::Role AccessibleItem::role() const
{
    if (IsPopup()) {
        const QVariant role = object()->parent()->property("spokenRole");
        return role.isValid() ? QAccessible::Role(role.toInt()) : QAccessible::Dialog;
    }
    return inner->role();
}

QAccessible::State AccessibleItem::state() const
{
    QAccessible::State state = inner->state();
    const auto* item = qobject_cast<const QQuickItem*>(object());
    if (item != nullptr && !item->isEnabled()) {
        state.disabled = true;
        state.focusable = false;
    }
    if (IsPopup()) {
        state.modal = object()->parent()->property("modal").toBool();
    }
    return state;
}

void* AccessibleItem::interface_cast(QAccessible::InterfaceType type)
{
    // The password's characters are not for reading aloud, nor for any other program.
    if (IsPassword() && type == QAccessible::TextInterface) {
        return static_cast<QAccessibleTextInterface*>(this);
    }
    if (IsPassword() && type == QAccessible::EditableTextInterface) {
        return nullptr;
    }
    if (type == QAccessible::ValueInterface && inner->role() == QAccessible::ProgressBar) {
        return static_cast<QAccessibleValueInterface*>(this);
    }
    return inner->interface_cast(type);
}

bool AccessibleItem::IsPopup() const
{
    const QObject* item = object();
    return item != nullptr && item->inherits("QQuickPopupItem") && item->parent() != nullptr;
}

bool AccessibleItem::IsPassword() const
{
    const QObject* item = object();
    // Any echo mode but TextInput.Normal hides the text.
    return item != nullptr && item->property("echoMode").toInt() > 0;
}

void AccessibleItem::selection(int /*selectionIndex*/, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
}

int AccessibleItem::selectionCount() const
{
    return 0;
}

void AccessibleItem::addSelection(int /*startOffset*/, int /*endOffset*/) {}

void AccessibleItem::removeSelection(int /*selectionIndex*/) {}

void AccessibleItem::setSelection(int /*selectionIndex*/, int /*startOffset*/, int /*endOffset*/) {}

int AccessibleItem::cursorPosition() const
{
    return 0;
}

void AccessibleItem::setCursorPosition(int /*position*/) {}

QString AccessibleItem::text(int /*startOffset*/, int /*endOffset*/) const
{
    return QString();
}

int AccessibleItem::characterCount() const
{
    return 0;
}

QRect AccessibleItem::characterRect(int /*offset*/) const
{
    return QRect();
}

int AccessibleItem::offsetAtPoint(const QPoint& /*point*/) const
{
    return -1;
}

void AccessibleItem::scrollToSubstring(int /*startIndex*/, int /*endIndex*/) {}

QString AccessibleItem::attributes(int /*offset*/, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
    return QString();
}

QVariant AccessibleItem::currentValue() const
{
    return object()->property("value");
}

void AccessibleItem::setCurrentValue(const QVariant& /*value*/) {}

QVariant AccessibleItem::maximumValue() const
{
    return object()->property("to");
}

QVariant AccessibleItem::minimumValue() const
{
    return object()->property("from");
}

QVariant AccessibleItem::minimumStepSize() const
{
    return 0;
}
