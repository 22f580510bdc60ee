#pragma once

#include <QAccessibleInterface>

// Qt Quick's own accessible interface of an item, completed where its QML properties fall short: a disabled
// item says it is disabled; a popup, which QML's Accessible cannot reach, is a dialog (or its "spokenRole")
// named by its "spokenName" or its title; a password field is named by its placeholder and never gives its
// text; a progress bar gives its value.
class AccessibleItem : public QAccessibleInterface,
                       public QAccessibleTextInterface,
                       public QAccessibleValueInterface
{
public:
    // Wraps the interfaces of the items created from now on; call it once the QML engine has loaded.
    static void Install();

    explicit AccessibleItem(QAccessibleInterface* inner);
    ~AccessibleItem() override;

    bool isValid() const override;
    QObject* object() const override;
    QWindow* window() const override;
    QVector<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override;
    QAccessibleInterface* focusChild() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text t, const QString& text) override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // The text of a password field, as it is given: none.
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    // The value of a progress bar, which Qt Quick gives no value interface: its "value" from "from" to "to".
    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    static void Update(QAccessibleEvent* event);

    bool IsPopup() const;
    bool IsPassword() const;

    QAccessibleInterface* inner;
    QAccessible::Id innerId;
};
