// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/keyboard.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QSet>
#include <QValidator>

#include <algorithm>

namespace {

qsizetype firstLineBreak(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        switch (text[i].unicode()) {
        case 0x0a: // line feed
        case 0x0b: // vertical tab
        case 0x0c: // form feed
        case 0x0d: // carriage return
        case 0x85: // next line
        case 0x2028: // line separator
        case 0x2029: // paragraph separator
            return i;
        default:
            break;
        }
    }
    return -1;
}

// A text box holds one line, and shows a line break as a space: a piece the user inserts
// (typed, pasted or dropped) keeps only what comes before its first line break. What the program
// itself puts into the box (setText) is a stored value and stays as it is, breaks and all, so
// that saving it unchanged writes back what was read; so do the breaks of such a value when the
// user later edits around them. Only the piece that differs from the text before the change
// counts as inserted, and the change is the user's when it can be undone: setText() clears the
// box's undo history, an edit adds to it. An undo or redo is no insertion: it puts back a text
// the box already had, exactly. It is told by what follows it in the history: after an undo
// (or a redo with more to redo) there is something left to redo, while an edit discards that.
// The last redo is checked as an edit, which changes nothing: it repeats an edit that was let
// through (an edit the guard cuts clears the history).
class FirstLineValidator final : public QValidator {
public:
    explicit FirstLineValidator(QLineEdit *box)
        : QValidator(box)
        , m_box(box)
        , m_before(box->text())
    {
        connect(
            box, &QLineEdit::textChanged, this, [this](const QString &text) { m_before = text; });
    }

    State validate(QString &input, int &pos) const override
    {
        if (!m_box->isUndoAvailable() || m_box->isRedoAvailable())
            return Acceptable;
        const qsizetype shorter = std::min(input.size(), m_before.size());
        qsizetype head = 0;
        while (head < shorter && input[head] == m_before[head])
            ++head;
        qsizetype tail = 0;
        while (tail < shorter - head
            && input[input.size() - 1 - tail] == m_before[m_before.size() - 1 - tail])
            ++tail;
        const qsizetype insertedEnd = input.size() - tail;
        const qsizetype lineBreak
            = firstLineBreak(QStringView(input).sliced(head, insertedEnd - head));
        if (lineBreak >= 0) {
            input.remove(head + lineBreak, insertedEnd - head - lineBreak);
            pos = int(head + lineBreak);
        }
        return Acceptable;
    }

private:
    QLineEdit *m_box;
    QString m_before;
};

// Keeps a window's controls out of the keyboard's reach while the user cannot see them: each
// takes no focus while it is hidden or clipped away, and its own focus policy again once it is
// shown or comes into view (the main window's lower row does when the window grows). The tab
// order itself stays as laid out. The controls are those that take focus when the window loads.
class FocusGate final : public QObject {
public:
    explicit FocusGate(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        QSet<QWidget *> watched;
        for (QWidget *control : window->findChildren<QWidget *>()) {
            if (control->focusPolicy() == Qt::NoFocus)
                continue;
            m_controls.append({ control, control->focusPolicy() });
            for (QWidget *w = control; w && !watched.contains(w);
                 w = w->isWindow() ? nullptr : w->parentWidget())
                watched.insert(w);
        }
        for (QWidget *w : std::as_const(watched))
            w->installEventFilter(this);
        update();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
            update();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void update()
    {
        for (const Control &c : std::as_const(m_controls)) {
            if (!c.widget)
                continue;
            const Qt::FocusPolicy policy = liesInView(c.widget) ? c.policy : Qt::NoFocus;
            if (c.widget->focusPolicy() == policy)
                continue;
            c.widget->setFocusPolicy(policy);
            if (policy == Qt::NoFocus && m_window->focusWidget() == c.widget)
                c.widget->clearFocus();
        }
    }

    struct Control {
        QPointer<QWidget> widget;
        Qt::FocusPolicy policy;
    };
    QWidget *m_window;
    QList<Control> m_controls;
};

// Passes a left click on a caption label on to its button: press and release both on the label.
class CaptionClick final : public QObject {
public:
    CaptionClick(QLabel *caption, QAbstractButton *button)
        : QObject(caption)
        , m_button(button)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
                return false;
            m_pressed = true;
            return true;
        case QEvent::MouseButtonRelease: {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() != Qt::LeftButton || !m_pressed)
                return false;
            m_pressed = false;
            const auto *caption = static_cast<QWidget *>(watched);
            if (m_button && m_button->isEnabled()
                && caption->rect().contains(mouse->position().toPoint())) {
                if (m_button->focusPolicy() & Qt::ClickFocus)
                    m_button->setFocus(Qt::MouseFocusReason);
                m_button->click();
            }
            return true;
        }
        default:
            return false;
        }
    }

private:
    QPointer<QAbstractButton> m_button;
    bool m_pressed = false;
};

} // namespace

bool liesInView(const QWidget *control)
{
    if (!control->isVisibleTo(control->window()))
        return false;
    QRect rect = control->rect();
    for (const QWidget *w = control; !w->isWindow(); w = w->parentWidget()) {
        rect.translate(w->pos());
        rect &= w->parentWidget()->rect();
        if (rect.isEmpty())
            return false;
    }
    return true;
}

void keepFirstLineOfInsertions(QLineEdit *box)
{
    box->setValidator(new FirstLineValidator(box));
}

void gateFocus(QWidget *window)
{
    new FocusGate(window);
}

void clickThroughCaption(QLabel *caption, QAbstractButton *button)
{
    caption->installEventFilter(new CaptionClick(caption, button));
}
