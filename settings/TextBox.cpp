#include "settings/TextBox.h"

#include <QFocusEvent>
#include <QMouseEvent>

void TextBox::focusInEvent(QFocusEvent* event)
{
    const int caret = cursorPosition();
    QLineEdit::focusInEvent(event);
    setCursorPosition(caret);
    m_focusedByPress = event->reason() == Qt::MouseFocusReason;
    emit gotFocus();
}

void TextBox::mousePressEvent(QMouseEvent* event)
{
    const bool keepSelection = m_focusedByPress && hasSelectedText();
    const int start = selectionStart();
    const int length = selectionLength();
    m_focusedByPress = false;
    QLineEdit::mousePressEvent(event);
    if (keepSelection && event->button() == Qt::LeftButton)
        setSelection(start, length);
}
