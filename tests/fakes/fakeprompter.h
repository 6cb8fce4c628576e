// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Answers and records message boxes, waited for or opened, in the order they were asked.
#include "ui/prompter.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

class FakePrompter : public Prompter {
public:
    struct Box {
        QString text;
        int style;
        QString caption;
    };

    // The answer to the next box; boxes with no answer queued get IdOk (or IdNo for Yes/No).
    void setNextAnswer(int answer) { m_answers.append(answer); }

    int msgBox(const QString &text, int style, const QString &caption) override
    {
        boxes.append({ text, style, caption });
        if (onBox)
            onBox(boxes.last());
        if (!m_answers.isEmpty())
            return m_answers.takeFirst();
        return (style & YesNo) == YesNo ? IdNo : IdOk;
    }

    // Opened boxes are answered from the event loop like real ones, with the same answers;
    // with holdOpened set they stay open until answerOpened().
    QObject *open(const QString &text, int style, const QString &caption, QObject *receiver,
        std::function<void(int answer)> answered) override
    {
        const int answer = msgBox(text, style, caption);
        auto *box = new QObject(receiver);
        QObject::connect(box, &QObject::destroyed, [this, box] {
            m_opened.removeAll(box);
            m_pending.remove(box);
        });
        m_opened.append(box);
        m_pending[box] = [box, answer, answered = std::move(answered)](int given) {
            box->deleteLater();
            answered(given ? given : answer);
        };
        if (!holdOpened)
            QTimer::singleShot(0, box, [this, box] { answerOpened(box, 0); });
        return box;
    }
    // Answers an open box (the last one opened by default); 0 gives the queued answer.
    void answerOpened(QObject *box = nullptr, int answer = 0)
    {
        if (!box && !m_opened.isEmpty())
            box = m_opened.last();
        if (!box || !m_pending.contains(box))
            return;
        m_pending.take(box)(answer);
    }
    int openCount() const { return int(m_opened.size()); }

    bool holdOpened = false;
    QList<Box> boxes;
    // Runs while the box is "open", so a test can look at what has happened before it closes.
    std::function<void(const Box &)> onBox;

private:
    QList<int> m_answers;
    QList<QObject *> m_opened;
    QHash<QObject *, std::function<void(int)>> m_pending;
};

// Installs a FakePrompter for one test's scope.
class ScopedFakePrompter {
public:
    ScopedFakePrompter() { setPrompter(&fake); }
    ~ScopedFakePrompter() { setPrompter(nullptr); }
    FakePrompter fake;
};
