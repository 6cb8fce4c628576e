// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/form.h"

#include "ui/accessibility.h"
#include "ui/keyboard.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

QIcon programIcon()
{
    const QIcon shared = QGuiApplication::windowIcon();
    return shared.isNull() ? QIcon(QStringLiteral(":/icon/brindle.ico")) : shared;
}

Form::Form(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setAccessibleRole(this, QAccessible::Dialog);
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
            keepFirstLineOfInsertions(box);
    }
    gateFocus(this);
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
