// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include "app/applicationstyle.h"
#include "app/fontwarmup.h"
#include "app/mainform.h"
#include "app/serverrecords.h"
#include "mail/librarythread.h"
#include "remoteaccess/networkmanagerremoteaccess.h"
#include "mail/pop3library.h"
#include "scenes/mediainterpreter.h"
#include "dialogs/forms.h"
#include "ui/messageboxprompter.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>

namespace {

// Nearly every caption is Japanese. With the desktop's Latin family, each caption would need
// that family, a search for fallbacks and the Japanese family; with the Japanese family alone,
// one font serves the whole window and its Latin letters go with its kana. A character the
// family lacks still finds a fallback: Qt searches for one when it first meets such a
// character (a second family named here would make it search at once, for every font).
//
// Kana, kanji and plain Latin letters need no shaping: Qt then takes glyphs straight from the
// font's character map instead of building the shaper's tables, which are large for a Japanese
// font. Text in a script that does need shaping (Arabic, Thai, ...) is still shaped; Latin text
// only loses kerning, which the captions do not need.
void useJapaneseFamily(const std::string &family)
{
    if (family.empty())
        return;
    QFont font = QApplication::font();
    font.setFamily(QString::fromStdString(family));
    font.setStyleStrategy(QFont::PreferNoShaping);
    QApplication::setFont(font);
}

} // namespace

QByteArray platformForSession(
    const QByteArray &qpaPlatform, const QByteArray &waylandDisplay, const QByteArray &display)
{
    if (qpaPlatform.isEmpty() && !waylandDisplay.isEmpty() && !display.isEmpty())
        return QByteArrayLiteral("xcb");
    return {};
}

int runBrindle(int argc, char **argv)
{
    FontConfigWarmUp fonts;
    // The menu bar is always the window's own; asking the session bus for a global menu
    // service would only cost a round trip at start-up.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    const QByteArray platform = platformForSession(
        qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    QApplication app(argc, argv);
    // Programs started from here (the browser) make their own choice.
    if (!platform.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    // Qt's own texts (the message boxes' standard buttons) in Japanese like every caption,
    // whatever the locale.
    QTranslator qtJapanese;
    if (qtJapanese.load(
            QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtJapanese);
    installApplicationStyle();
    QApplication::setApplicationName(QStringLiteral("brindle"));
    QApplication::setWindowIcon(programIcon());
    // Closing the main window ends the program itself; the dialogs never do.
    QApplication::setQuitOnLastWindowClosed(false);

    MessageBoxPrompter messageBoxes(MainForm::Title);
    setPrompter(&messageBoxes);

    // Outlives the library, which asks it during every check.
    ServerRecords serverTrust;
    Pop3Library nmail;
    nmail.setServerTrust(&serverTrust);
    LibraryThread nmailThread;
    MediaCommandInterpreter media;
    NetworkManagerRemoteAccess remoteAccess;

    fonts.wait();
    useJapaneseFamily(fonts.japaneseFamily());
    int result = 0;
    {
        FormSlot<MainForm> mainForm([&] {
            return new MainForm(MainForm::Services { nmail, media, remoteAccess, nmailThread });
        });
        mainForm.show();
        result = QApplication::exec();
        // The library's thread releases its connections at the close, at once unless a call is
        // still held by a server (a stopped check's cut call comes back within a moment). The
        // program does not wait longer for it: the one file a check writes, the trust records,
        // is replaced whole or not at all, and the system drops the connection.
        if (!nmailThread.waitUntilDone(std::chrono::milliseconds(500)))
            std::quick_exit(result);
        // Every window still loaded goes without its unload step.
        forms().destroyAllWithoutUnload();
        mainForm.destroyWithoutUnload();
    }
    setPrompter(nullptr);
    return result;
}
