#include "mail/checkmail.h"

#include "mail/nmail.h"
#include "settings/mailsettings.h"

#include <vector>

namespace {

// The four header buffers the status and fetch calls fill; the first also takes a failure text.
struct TextBuffers {
    std::vector<char> subject = std::vector<char>(NMailApi::BufferSize, ' ');
    std::vector<char> from = std::vector<char>(NMailApi::BufferSize, ' ');
    std::vector<char> date = std::vector<char>(NMailApi::BufferSize, ' ');
    std::vector<char> messageId = std::vector<char>(NMailApi::BufferSize, ' ');
};

void fetchMessages(NMailApi &library, int handle, int count, TextBuffers &buffers)
{
    std::vector<char> body;
    for (int n = 1; n <= count; ++n) {
        library.NMailPop3GetMailStatus(
            handle, n, buffers.subject, buffers.from, buffers.date, buffers.messageId, 0);
        const int size = library.NMailPop3GetMailSize(handle, n);
        // A failed size (-1, or anything negative) gives an empty buffer, never a negative one.
        const size_t bodySize = size < 0 ? 0 : size_t(std::min(size, MaxBodyBuffer - 1)) + 1;
        body.assign(bodySize, ' ');
        library.NMailPop3GetMail(
            handle, n, buffers.subject, buffers.from, buffers.date, buffers.messageId, body, 0, 0);
    }
}

QString failureText(NMailApi &library, TextBuffers &buffers)
{
    int size = NMailApi::BufferSize;
    library.NMailGetMessage(0, buffers.subject, &size);
    // The buffer was filled with blanks; the text ends at its NUL, or at the buffer's end.
    const QByteArray raw(buffers.subject.data(), qsizetype(buffers.subject.size()));
    return TrimAtNul(QString::fromUtf8(raw));
}

} // namespace

void CheckMail(NMailApi &library, MailSettings &settings, MailCheckHost &host)
{
    int count = 0;
    if (!settings.Pop3Server.isEmpty()) {
        const int handle = library.NMailPop3Connect(settings.Pop3Server);
        if (handle != -1) {
            const QString id = ReadAccountValue(QStringLiteral("NAME"));
            const QString password = ReadAccountValue(QStringLiteral("NAME2"));
            host.setAccountInDialog(id, password);
            settings.UserId = id;
            settings.UserPassword = password;

            if (settings.UserId.isEmpty() || settings.UserPassword.isEmpty()) {
                host.showAccountDialog();
            } else {
                TextBuffers buffers;
                count = library.NMailPop3Authenticate(
                    handle, settings.UserId, settings.UserPassword, settings.UseApop != 0 ? -1 : 0);
                if (count > 0)
                    fetchMessages(library, handle, count, buffers);
                else if (count < 0)
                    host.showErrorBox(failureText(library, buffers));
            }
            library.NMailPop3Close(handle);
        }
    }
    ShowCheckResult(count, host);
}

void ShowCheckResult(int count, MailCheckHost &host)
{
    host.startEventScene();
    host.setResultTexts(
        count > 0 ? QStringLiteral("新着メール有り。") : QStringLiteral("新着メールなし。"),
        QString::number(count));
    if (host.hangUpOption() == 1)
        host.hangUp();
}
