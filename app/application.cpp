#include "app/application.h"

#include "app/fontwarmup.h"
#include "app/mainform.h"
#include "app/messageboxprompter.h"
#include "mail/networkmanagerremoteaccess.h"
#include "mail/pop3library.h"
#include "scenes/mediainterpreter.h"
#include "settings/forms.h"

#include <QApplication>
#include <QIcon>
#include <memory>

namespace {

// Reaches the system bus only when a hang-up is asked for, not at every start.
class LazyRemoteAccess : public RemoteAccess {
public:
    int enumConnections(QList<DialUpConnection> *connections) override
    {
        return real().enumConnections(connections);
    }
    int hangUp(const QString &handle) override { return real().hangUp(handle); }

private:
    RemoteAccess &real()
    {
        if (!m_real)
            m_real = std::make_unique<NetworkManagerRemoteAccess>();
        return *m_real;
    }
    std::unique_ptr<NetworkManagerRemoteAccess> m_real;
};

} // namespace

int runBrindle(int argc, char **argv)
{
    FontConfigWarmUp fonts;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brindle"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon/brindle.ico")));
    // Closing the main window ends the program itself; the dialogs never do.
    QApplication::setQuitOnLastWindowClosed(false);

    MessageBoxPrompter messageBoxes;
    setPrompter(&messageBoxes);

    Pop3Library nmail;
    MediaCommandInterpreter media;
    LazyRemoteAccess remoteAccess;

    fonts.wait();
    int result = 0;
    {
        FormSlot<MainForm> mainForm([&] {
            return new MainForm(MainForm::Services { nmail, media, remoteAccess });
        });
        mainForm.show();
        result = QApplication::exec();
        // Every window still loaded goes without its unload step.
        forms().destroyAllWithoutUnload();
        mainForm.destroyWithoutUnload();
    }
    setPrompter(nullptr);
    return result;
}
