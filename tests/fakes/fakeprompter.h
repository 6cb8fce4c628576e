#pragma once
// Answers and records modal message boxes, in the order they were asked.
#include "ui/prompter.h"

#include <QList>
#include <QStringList>
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

    QList<Box> boxes;
    // Runs while the box is "open", so a test can look at what has happened before it closes.
    std::function<void(const Box &)> onBox;

private:
    QList<int> m_answers;
};

// Installs a FakePrompter for one test's scope.
class ScopedFakePrompter {
public:
    ScopedFakePrompter() { setPrompter(&fake); }
    ~ScopedFakePrompter() { setPrompter(nullptr); }
    FakePrompter fake;
};
