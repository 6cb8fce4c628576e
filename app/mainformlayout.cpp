// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's menu and controls: names, captions, pictures and places in twips, stacking
// and tab order, as the window was drawn.
#include "app/mainform.h"

#include "scenes/gifpane.h"
#include "ui/picturebox.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>

namespace {

QPushButton *makeButton(QWidget *container, const char *name, const QString &caption, int left,
    int top, int width, int height)
{
    auto *button = makeControl<QPushButton>(container, name, QRect(left, top, width, height));
    button->setText(caption);
    return button;
}

PictureBox *makePictureButton(QWidget *container, const char *name, int left, int top)
{
    auto *box = makeControl<PictureBox>(container, name, QRect(left, top, 315, 315));
    QPalette palette = box->palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 128));
    box->setPalette(palette);
    box->setPixmap(QPixmap(QStringLiteral(":/buttons/%1.gif").arg(QLatin1String(name))));
    return box;
}

} // namespace

QAction *MainForm::addMenuItem(
    QMenu *menu, const QString &name, const QString &caption, void (MainForm::*handler)())
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    if (handler)
        connect(action, &QAction::triggered, this, handler);
    return action;
}

void MainForm::buildMenu()
{
    QMenu *file = m_menuBar->addMenu(QStringLiteral("ファイル"));
    file->setObjectName(QStringLiteral("mfile"));
    file->menuAction()->setObjectName(QStringLiteral("mfile"));
    addMenuItem(file, QStringLiteral("mcheck"), QStringLiteral("新着メールチェック"),
        &MainForm::mcheck_Click);
    file->addSeparator()->setObjectName(QStringLiteral("mline2"));
    addMenuItem(file, QStringLiteral("mset"), QStringLiteral("設定"), &MainForm::mset_Click);
    addMenuItem(
        file, QStringLiteral("mzenmen"), QStringLiteral("常に前面表示"), &MainForm::mzenmen_Click);
    file->addSeparator()->setObjectName(QStringLiteral("mline3"));
    addMenuItem(
        file, QStringLiteral("mhikyaku"), QStringLiteral("なんでだろ♪"), &MainForm::mhikyaku_Click);
    addMenuItem(file, QStringLiteral("mmodosu"), QStringLiteral("なんでだろを戻す"),
        &MainForm::mmodosu_Click);
    file->addSeparator()->setObjectName(QStringLiteral("mline"));
    addMenuItem(
        file, QStringLiteral("mhp"), QStringLiteral("作者のホームページ"), &MainForm::mhp_Click);

    QMenu *picture = m_menuBar->addMenu(QStringLiteral("画像"));
    picture->setObjectName(QStringLiteral("mgazou"));
    picture->menuAction()->setObjectName(QStringLiteral("mgazou"));
    addMenuItem(picture, QStringLiteral("mhenkou"), QStringLiteral("画像を変える"),
        &MainForm::mhenkou_Click);

    // The captions carry no access keys; F10 opens the first menu, as on the desktop.
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, m_menuBar,
        [this, file] { m_menuBar->setActiveAction(file->menuAction()); });
}

QAction *MainForm::menuAction(const QString &name) const
{
    const auto actions = m_menuBar->findChildren<QAction *>(name);
    return actions.isEmpty() ? nullptr : actions.first();
}

void MainForm::buildControls()
{
    QWidget *window = m_client;

    m_picture3 = makeControl<PictureBox>(window, "Picture3", QRect(2760, 3120, 1695, 300));
    // A picture box's own background is the system's button face, not the window's dark red.
    QPalette boxPalette = m_picture3->palette();
    boxPalette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    m_picture3->setPalette(boxPalette);
    m_text6 = makeControl<QLineEdit>(m_picture3, "Text6", QRect(680, 0, 375, 270));
    m_label4 = makeControl<QLabel>(m_picture3, "Label4", QRect(-40, 20, 735, 255));
    m_label4->setText(QStringLiteral("　新着数"));
    m_label4->setAttribute(Qt::WA_TranslucentBackground);
    m_label4->setAutoFillBackground(false);
    QPalette labelPalette = m_label4->palette();
    labelPalette.setColor(QPalette::WindowText, QColor(64, 0, 0));
    m_label4->setPalette(labelPalette);
    m_label4->raise(); // within Picture3, Text6 lies above Label4
    m_text6->raise();

    m_command2 = makeButton(window, "Command2", QStringLiteral("元のサイズ"), 20, 3120, 1320, 260);
    m_check1 = makeControl<QCheckBox>(window, "Check1", QRect(3720, 6000, 1995, 510));
    m_check1->setText(QStringLiteral("ループ"));
    m_check1->setChecked(true);
    m_command6 = makeButton(window, "Command6", QStringLiteral("停止"), 5760, 5880, 975, 255);
    m_command4 = makeButton(window, "Command4", QStringLiteral("再生"), 5760, 6120, 975, 255);
    m_command3
        = makeButton(window, "Command3", QStringLiteral("イベント開始"), 5760, 5520, 1215, 375);
    m_text3 = makeControl<QLineEdit>(window, "Text3", QRect(1320, 3120, 1455, 300));

    m_picture2 = makeControl<PictureBox>(window, "Picture2", QRect(0, 0, 4575, 3495));
    m_picture2->setMouseTracking(false);
    QPalette panePalette = m_picture2->palette();
    panePalette.setColor(QPalette::Window, panePalette.color(QPalette::Base));
    m_picture2->setPalette(panePalette);
    m_webBrowser1 = makeControl<GifPane>(m_picture2, "WebBrowser1", QRect(-170, -300, 5055, 3735));
    // The picture sits at the page margin, so through the pane's negative offset its top-left
    // meets the picture box's top-left.
    m_webBrowser1->setPageMargin(QPoint(twipsToPixels(170), twipsToPixels(300)));

    m_command1 = makeButton(window, "Command1", QStringLiteral("Command1"), 120, 5400, 1215, 375);
    m_command1->hide();
    m_picture8 = makePictureButton(window, "Picture8", 1200, 6000);
    m_picture8->hide();
    m_picture1 = makePictureButton(window, "Picture1", 480, 6000);
    m_picture7 = makePictureButton(window, "Picture7", 120, 6000);
    m_picture7->hide();
    m_picture10 = makePictureButton(window, "Picture10", 840, 6000);
    m_picture10->hide();
    m_command5 = makeButton(window, "Command5", QStringLiteral("切断"), 5760, 6360, 1095, 375);
    m_command5->hide();
    m_text2 = makeControl<QLineEdit>(window, "Text2", QRect(1680, 6000, 150, 375));
    m_text2->setText(QStringLiteral("Text2"));
    m_text2->hide();

    // Stacking: a control listed earlier lies above every control listed after it.
    const QList<QWidget *> stacking = { m_picture3, m_command2, m_check1, m_command6, m_command4,
        m_command3, m_text3, m_picture2, m_command1, m_picture8, m_picture1, m_picture7,
        m_picture10, m_command5, m_text2 };
    for (auto it = stacking.rbegin(); it != stacking.rend(); ++it)
        (*it)->raise();

    const QList<QWidget *> tabOrder = { m_text2, m_command5, m_picture10, m_picture7, m_picture1,
        m_picture8, m_command1, m_picture2, m_webBrowser1, m_text3, m_command3, m_command4,
        m_command6, m_check1, m_command2, m_picture3, m_text6, m_label4 };
    for (int i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(m_command2, &QPushButton::clicked, this, &MainForm::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &MainForm::Command3_Click);
    connect(m_command4, &QPushButton::clicked, this, &MainForm::Command4_Click);
    connect(m_command5, &QPushButton::clicked, this, &MainForm::Command5_Click);
    connect(m_command6, &QPushButton::clicked, this, &MainForm::Command6_Click);
    connect(m_picture1, &PictureBox::clicked, this, &MainForm::Picture1_Click);
    connect(m_picture7, &PictureBox::clicked, this, &MainForm::Picture7_Click);
    connect(m_picture8, &PictureBox::clicked, this, &MainForm::Picture8_Click);
    connect(m_picture8, &PictureBox::mouseMoved, this, &MainForm::Picture8_MouseMove);
    connect(m_picture10, &PictureBox::clicked, this, &MainForm::Picture10_Click);

    m_commonDialog = new CommonDialog(this);
    m_commonDialog->setObjectName(QStringLiteral("CommonDialog"));

    describeControls();
}
