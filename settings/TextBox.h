#pragma once

#include <QLineEdit>

// A text field that behaves like the forms' text boxes: gaining the focus leaves the caret
// where it was and selects nothing (Qt selects the whole text when tabbing in); a field that
// wants select-on-focus does it in its gotFocus handler, and that selection survives the
// mouse click that brought the focus.
class TextBox : public QLineEdit
{
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

signals:
    void gotFocus();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool m_focusedByPress = false;
};
