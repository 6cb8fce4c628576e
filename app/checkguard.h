#pragma once
#include <QObject>

// While a check runs: a busy cursor over the program's windows, and every input event to them
// dropped. Dropped, not held back: input given while the check waits must not act once it
// ends (a menu pick would start a second check). Painting, timers and the window system's own
// events, closing a window among them, go on.
class CheckGuard : public QObject {
public:
    CheckGuard();
    ~CheckGuard() override;

    // Lifted while the check shows a box that the user has to answer.
    void setActive(bool active);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_active = false;
};
