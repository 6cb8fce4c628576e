// SPDX-License-Identifier: GPL-3.0-or-later
#include "scenes/gifpane.h"

#include <QFileInfo>
#include <QMovie>
#include <QPainter>

namespace {
const QString FileScheme = QStringLiteral("file://");
}

GifPane::GifPane(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

GifPane::~GifPane() = default;

void GifPane::navigate(const QString &address)
{
    m_address = address;
    delete m_movie;
    m_movie = nullptr;

    // The address is the scheme followed by the path as plain text, never escaped: take the
    // path exactly as it stands.
    if (address.startsWith(FileScheme)) {
        const QString path = address.mid(FileScheme.size());
        if (QFileInfo(path).isFile()) {
            auto *movie = new QMovie(path, QByteArray(), this);
            if (movie->isValid()) {
                m_movie = movie;
                // Decoded frames are kept, so a looping picture is decoded once; only the part
                // of the pane that changed is painted.
                movie->setCacheMode(QMovie::CacheAll);
                connect(movie, &QMovie::updated, this,
                    [this](const QRect &changed) { update(changed.translated(m_margin)); });
                if (isVisible())
                    movie->start();
                else
                    movie->jumpToFrame(0);
            } else {
                delete movie;
            }
        }
    }
    update();
    emit navigated(address);
}

bool GifPane::hasPicture() const
{
    return m_movie && !m_movie->currentPixmap().isNull();
}

void GifPane::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    if (m_movie)
        painter.drawPixmap(m_margin, m_movie->currentPixmap());
}

void GifPane::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_movie)
        return;
    if (m_movie->state() == QMovie::Paused)
        m_movie->setPaused(false);
    else if (m_movie->state() == QMovie::NotRunning)
        m_movie->start();
}

void GifPane::hideEvent(QHideEvent *event)
{
    // A hidden pane does not need its animation: this keeps the program quiet at rest when the
    // window is minimised or unmapped.
    if (m_movie)
        m_movie->setPaused(true);
    QWidget::hideEvent(event);
}
