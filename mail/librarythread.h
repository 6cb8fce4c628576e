#pragma once
// The thread that the POP3 library's calls run on during a check, so that the window goes on
// painting and answering the window system while the library waits for a server.
//
// The hand-over between the two threads is this object's queue: start() hands a task over, and
// finished() comes back on the thread that called start() once the task has run. Between the
// two, the caller does not touch what the task uses; after finished() it may again. A task that
// makes a socket makes it on this thread, so every call on one connection goes through the same
// LibraryThread.
#include <QObject>
#include <QThread>
#include <functional>

class LibraryThread : public QObject {
    Q_OBJECT
public:
    LibraryThread();
    // Waits for the tasks in hand: a program that may still have one blocked on a server leaves
    // without destroying this (see isBusy()).
    ~LibraryThread() override;

    // Queues task behind any task in hand. Call from the thread this object lives on.
    void start(std::function<void()> task);
    // Whether a task has been started whose finished() has not come back yet.
    bool isBusy() const { return m_inHand > 0; }

signals:
    void finished();

private:
    QThread m_thread;
    QObject m_context; // lives on m_thread; tasks run as its queued calls
    int m_inHand = 0;
};
