#include "mail/librarythread.h"

LibraryThread::LibraryThread()
{
    m_thread.setObjectName(QStringLiteral("pop3"));
    m_context.moveToThread(&m_thread);
}

LibraryThread::~LibraryThread()
{
    m_thread.quit();
    m_thread.wait();
}

void LibraryThread::start(std::function<void()> task)
{
    // Started at the first check, not at every start of the program.
    if (!m_thread.isRunning())
        m_thread.start();
    ++m_inHand;
    QMetaObject::invokeMethod(
        &m_context,
        [this, task = std::move(task)] {
            task();
            QMetaObject::invokeMethod(
                this,
                [this] {
                    --m_inHand;
                    emit finished();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
