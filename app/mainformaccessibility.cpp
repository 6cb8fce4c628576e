// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window tells a screen reader: the scene pane names the picture it shows, the
// result fields are named, and the end of a check is spoken.
#include "app/mainform.h"

#include "scenes/gifpane.h"
#include "dialogs/henkouform.h"
#include "ui/accessibility.h"
#include "ui/picturebox.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>

namespace {
const QString IdleSceneName = QStringLiteral("屋台で働く店主");
const QString NoSceneName = QStringLiteral("絵を表示できません");
} // namespace

void MainForm::describeControls()
{
    // The window's client area and the picture boxes that hold other controls are plain
    // containers; only what lies in view is listed in them.
    setAccessibleRole(m_client, QAccessible::Client);
    setAccessibleRole(m_picture2, QAccessible::Client);
    setAccessibleRole(m_picture3, QAccessible::Client);
    setAccessibleRole(m_webBrowser1, QAccessible::Graphic);
    m_text3->setAccessibleName(QStringLiteral("チェック結果"));
    // The count is read with what it counts.
    m_label4->setBuddy(m_text6);
    connect(m_webBrowser1, &GifPane::navigated, this, &MainForm::nameScene);
    nameScene();
}

void MainForm::describeProgress()
{
    setAccessibleRole(m_progressBox, QAccessible::Grouping);
    m_progressBox->setAccessibleName(QStringLiteral("チェックの進み具合"));
}

// The pane's name says what it shows: the idle scene, one of the two event scenes, or nothing.
void MainForm::nameScene()
{
    const QString address = m_webBrowser1->currentAddress();
    QString name = NoSceneName;
    if (!m_webBrowser1->hasPicture())
        name = NoSceneName;
    else if (address == sceneAddress(IdleScene))
        name = IdleSceneName;
    else if (address == sceneAddress(EventScene1))
        name = HenkouForm::eventSceneName(1);
    else if (address == sceneAddress(EventScene2))
        name = HenkouForm::eventSceneName(2);
    m_webBrowser1->setAccessibleName(name);
}

void MainForm::announce(const QString &text)
{
    // Read at the result field: a check ends with it in view, next to the count.
    ::announce(this, text, m_text3);
}

void MainForm::announceResult(int count)
{
    announce(count > 0 ? QStringLiteral("新着メール有り。 %1通").arg(count)
                       : QStringLiteral("新着メールなし。"));
}

void MainForm::announceStopped()
{
    announce(QStringLiteral("チェックを中止しました。"));
}
