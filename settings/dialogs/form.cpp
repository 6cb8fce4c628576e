#include "settings/dialogs/form.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QValidator>

#include <algorithm>
#include <cmath>

int twipsToPixels(int twips)
{
    qreal dpi = 96.0;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInch();
    return qRound(twips * dpi / 1440.0);
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(
        twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

void placeTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsRect(left, top, width, height));
}

void fitCaptionToWidth(QWidget *control)
{
    QString caption;
    int room = control->width();
    if (auto *label = qobject_cast<QLabel *>(control)) {
        caption = label->text();
        room = label->contentsRect().width() - 2 * qMax(label->margin(), 0);
        if (!label->buddy())
            caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        caption = button->text();
        const QStyle *style = control->style();
        if (qobject_cast<QCheckBox *>(control)) {
            room -= style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, control);
            room -= style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, control);
            room -= 2; // the focus frame around the text
        } else if (qobject_cast<QRadioButton *>(control)) {
            room -= style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, control);
            room -= style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, control);
            room -= 2;
        } else {
            room -= 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control) + 4;
        }
    }
    // "&S" shows as an underlined S; "&&" as one ampersand.
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        shown += caption[i];
    }
    if (shown.isEmpty() || room <= 0)
        return;

    QFont font = control->font();
    const qreal original = font.pointSizeF();
    if (original <= 0)
        return; // a pixel-sized font: left as it is
    const int width = QFontMetrics(font).horizontalAdvance(shown);
    if (width <= room)
        return;
    // Sizes go down in half points. The width grows about in step with the size, so start at
    // the step where the caption should just fit, then settle on the largest that does: each
    // size tried costs a font of its own.
    const auto advanceAt = [&](qreal size) {
        font.setPointSizeF(size);
        return QFontMetrics(font).horizontalAdvance(shown);
    };
    const int steps = int(std::ceil((original - original * room / width) / 0.5));
    qreal size = std::max(6.0, original - 0.5 * std::max(steps, 1));
    while (size > 6.0 && advanceAt(size) > room)
        size = std::max(6.0, size - 0.5);
    while (size + 0.5 < original && advanceAt(size + 0.5) <= room)
        size += 0.5;
    font.setPointSizeF(size);
    control->setFont(font);
}

namespace {

qsizetype firstLineBreak(const QString &text)
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

// A text box holds one line, and shows a line break as a space: text that arrives with line
// breaks keeps only what comes before the first. The box held no break before the change, so
// the breaks belong to the piece just inserted, which ends at the cursor; what follows the
// cursor was there before and stays.
class FirstLineValidator final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override
    {
        const qsizetype lineBreak = firstLineBreak(input);
        if (lineBreak >= 0) {
            const qsizetype end = pos > lineBreak ? pos : input.size();
            input.remove(lineBreak, end - lineBreak);
            pos = int(lineBreak);
        }
        return Acceptable;
    }
};

// Whether the control could be seen: it and its containers are not hidden, and some part of it
// lies inside the window once each container has clipped it.
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

void clickThroughCaption(QLabel *caption, QAbstractButton *button)
{
    caption->installEventFilter(new CaptionClick(caption, button));
}

QIcon programIcon()
{
    const QIcon shared = QGuiApplication::windowIcon();
    return shared.isNull() ? QIcon(QStringLiteral(":/icon/brindle.ico")) : shared;
}

Form::Form(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    // Fixed single border, system menu and close box; windows that want a minimise button
    // add the hint themselves.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(programIcon());
}

Form::~Form() = default;

void Form::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    for (QLineEdit *box : findChildren<QLineEdit *>()) {
        if (!box->validator())
            box->setValidator(new FirstLineValidator(box));
    }
    new FocusGate(this);
    loadStep();
}

void Form::showForm()
{
    if (!m_centred) {
        m_centred = true;
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    show();
    raise();
    activateWindow();
}

void Form::unloadForm()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    unloadStep();
    hide();
    deleteLater();
}

void Form::setClientSizeTwips(int width, int height)
{
    setFixedSize(twipsToPixels(width), twipsToPixels(height));
}

void Form::fitCaptions()
{
    for (QWidget *child : findChildren<QWidget *>())
        fitCaptionToWidth(child);
}

void Form::showEvent(QShowEvent *event)
{
    if (!m_prepared) {
        m_prepared = true;
        prepareForDisplay();
    }
    QWidget::showEvent(event);
}

void Form::closeEvent(QCloseEvent *event)
{
    // The close box unloads the window; the event itself is accepted only for the hide.
    event->accept();
    unloadForm();
}

void Form::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget())) {
            focused->click();
            return;
        }
        if (m_defaultButton) {
            m_defaultButton->click();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (m_cancelButton) {
            m_cancelButton->click();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}
