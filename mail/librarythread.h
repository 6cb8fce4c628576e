// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The thread that the POP3 library's calls run on during a check, so that the window goes on
// painting and answering the window system while the library waits for a server.
//
// The hand-over between the two threads is this object's queue, under one mutex: start()
// queues a task, the thread takes it from there, runs it and counts it done, and finished()
// comes back on the thread that called start(), with the task's number. Between start() and
// finished() the caller does not touch what the task uses; after finished() it may again. A task
// that makes a socket makes it on this thread, so every call on one connection goes through the
// same LibraryThread. The caller's thread is woken through an eventfd that its event loop watches:
// no object of Qt's passes between the threads, and the hand-over is plain standard-library
// locking that ThreadSanitizer sees.
#include <QObject>
#include <QSocketNotifier>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class LibraryThread : public QObject {
    Q_OBJECT
public:
    LibraryThread();
    // Waits for the tasks in hand: a program that may still have one blocked on a server leaves
    // without destroying this (see isBusy()).
    ~LibraryThread() override;

    // Queues task behind any task in hand; the thread starts with the first. Call from the
    // thread this object lives on. Returns the task's number, which its finished() carries.
    int start(std::function<void()> task);
    // Whether a task has been started whose finished() has not come back yet.
    bool isBusy() const { return m_started > m_finished; }
    // Whether any task was ever started: the thread may then hold the library's connections.
    bool hasStarted() const { return m_started > 0; }
    // After the event loop has ended: waits up to timeout for every task started to have run.
    bool waitUntilDone(std::chrono::milliseconds timeout);

signals:
    // Tasks finish in the order they were started. A caller that stopped waiting for a task
    // (a check the user stopped) tells its finished() from a later task's by the number.
    void finished(int task);

private:
    void run();
    void takeFinished();

    std::thread m_thread;
    int m_wakeFd = -1; // counts tasks done; written by the thread, read by the caller's
    QSocketNotifier *m_wakeNotifier = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_doneChanged;
    std::deque<std::function<void()>> m_tasks; // under m_mutex
    int m_queued = 0; // under m_mutex
    int m_done = 0; // under m_mutex
    bool m_stopping = false; // under m_mutex
    // On the caller's thread only.
    int m_started = 0;
    int m_finished = 0;
};
