// SPDX-License-Identifier: GPL-3.0-or-later
#include "scenes/mediaparser.h"

#include <QList>

namespace {

struct Word {
    QString text;
    bool quoted = false;
};

// Splits at blanks; a word that opens with a double quote runs to the next double quote and must
// be followed by a blank or the end.
bool splitWords(const QString &text, QList<Word> &words)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (true) {
        while (i < n && text.at(i).isSpace())
            ++i;
        if (i >= n)
            return true;
        if (text.at(i) == u'"') {
            const qsizetype end = text.indexOf(u'"', i + 1);
            if (end < 0)
                return false;
            words.append({ text.mid(i + 1, end - i - 1), true });
            i = end + 1;
            if (i < n && !text.at(i).isSpace())
                return false;
        } else {
            const qsizetype start = i;
            while (i < n && !text.at(i).isSpace())
                ++i;
            words.append({ text.mid(start, i - start), false });
        }
    }
}

bool isKeyword(const Word &word, QLatin1StringView keyword)
{
    return !word.quoted && word.text.compare(keyword, Qt::CaseInsensitive) == 0;
}

MediaParse failure(int code)
{
    MediaParse result;
    result.error = code;
    return result;
}

MediaParse success(MediaCommand command)
{
    return MediaParse { std::move(command), MediaError::None };
}

} // namespace

MediaParse parseMediaCommand(const QString &text)
{
    QList<Word> words;
    if (!splitWords(text, words))
        return failure(MediaError::BadArgument);
    if (words.isEmpty())
        return failure(MediaError::MissingCommand);

    const Word &verb = words.first();
    const auto aliasAt = [&words](qsizetype index, QString &alias) {
        if (index >= words.size() || words.at(index).text.isEmpty())
            return false;
        alias = words.at(index).text;
        return true;
    };
    QString alias;

    if (isKeyword(verb, QLatin1StringView("open"))) {
        if (words.size() != 4 || words.at(1).text.isEmpty()
            || !isKeyword(words.at(2), QLatin1StringView("alias")) || !aliasAt(3, alias))
            return failure(MediaError::BadArgument);
        return success(MediaOpen { words.at(1).text, alias });
    }
    if (isKeyword(verb, QLatin1StringView("play"))) {
        if (!aliasAt(1, alias))
            return failure(MediaError::BadArgument);
        if (words.size() == 2)
            return success(MediaPlay { alias, false });
        bool isNumber = false;
        // Only a restart from the beginning is supported; other positions are refused.
        if (words.size() == 4 && isKeyword(words.at(2), QLatin1StringView("from"))
            && !words.at(3).quoted && words.at(3).text.toInt(&isNumber) == 0 && isNumber)
            return success(MediaPlay { alias, true });
        return failure(MediaError::BadArgument);
    }
    if (isKeyword(verb, QLatin1StringView("stop"))) {
        if (words.size() != 2 || !aliasAt(1, alias))
            return failure(MediaError::BadArgument);
        return success(MediaStop { alias });
    }
    if (isKeyword(verb, QLatin1StringView("close"))) {
        if (words.size() != 2 || !aliasAt(1, alias))
            return failure(MediaError::BadArgument);
        return success(MediaClose { alias });
    }
    if (isKeyword(verb, QLatin1StringView("status"))) {
        if (words.size() != 3 || !aliasAt(1, alias)
            || !isKeyword(words.at(2), QLatin1StringView("mode")))
            return failure(MediaError::BadArgument);
        return success(MediaStatusMode { alias });
    }
    return failure(MediaError::UnknownCommand);
}
