// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>

#include <QAbstractButton>
#include <QPointer>
#include <functional>

// While a check runs: a busy cursor over the program's windows, and every input event to them
// dropped. Dropped, not held back: input given while the check waits must not act once it
// ends (a menu pick would start a second check). Painting, timers and the window system's own
// events, closing a window among them, go on. Only the two ways to stop the check get through:
// Esc, and the mouse on the stop button.
class CheckGuard : public QObject {
public:
    explicit CheckGuard(std::function<void()> stop = {});
    ~CheckGuard() override;

    // The button whose clicks get through (the progress's 中止).
    void setStopButton(QAbstractButton *button) { m_stopButton = button; }

    // Lifted while the check shows a box that the user has to answer.
    void setActive(bool active);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool reachesStopButton(QObject *watched, QEvent *event) const;

    std::function<void()> m_stop;
    QPointer<QAbstractButton> m_stopButton;
    bool m_active = false;
};
