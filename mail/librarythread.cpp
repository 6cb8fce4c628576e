// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/librarythread.h"

#include <sys/eventfd.h>
#include <unistd.h>

LibraryThread::LibraryThread()
    : m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , m_wakeNotifier(new QSocketNotifier(m_wakeFd, QSocketNotifier::Read, this))
{
    connect(m_wakeNotifier, &QSocketNotifier::activated, this, &LibraryThread::takeFinished);
}

LibraryThread::~LibraryThread()
{
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    delete m_wakeNotifier;
    ::close(m_wakeFd);
}

int LibraryThread::start(std::function<void()> task)
{
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        ++m_queued;
    }
    ++m_started;
    // Started at the first check, not at every start of the program.
    if (!m_thread.joinable())
        m_thread = std::thread(&LibraryThread::run, this);
    m_wake.notify_one();
    return m_started;
}

void LibraryThread::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
        if (m_tasks.empty())
            return;
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        task();
        task = nullptr;
        lock.lock();
        ++m_done;
        m_doneChanged.notify_all();
        eventfd_write(m_wakeFd, 1);
    }
}

void LibraryThread::takeFinished()
{
    eventfd_t ignored = 0;
    eventfd_read(m_wakeFd, &ignored);
    int done = 0;
    {
        const std::lock_guard lock(m_mutex);
        done = m_done;
    }
    while (m_finished < done)
        emit finished(++m_finished);
}

bool LibraryThread::waitUntilDone(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_doneChanged.wait_for(lock, timeout, [this] { return m_done == m_queued; });
}
