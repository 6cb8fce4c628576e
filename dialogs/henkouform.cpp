// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/henkouform.h"

#include "settings/mailsettings.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>

namespace {
// The previews are still pictures: the first frame of each animated GIF.
QPixmap firstFrame(const QString &resource)
{
    QImageReader reader(resource);
    return QPixmap::fromImage(reader.read());
}
} // namespace

HenkouForm::HenkouForm(QWidget *parent)
    : Form(parent)
{
    setObjectName(QStringLiteral("HenkouForm"));
    setWindowTitle(QStringLiteral("画像の選択"));
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setClientSizeTwips(2880, 2970);

    m_frame1 = makeControl<QGroupBox>(this, "Frame1");
    m_option1 = makeControl<QRadioButton>(m_frame1, "Option1");
    m_option2 = makeControl<QRadioButton>(m_frame1, "Option2");
    m_image1 = makeControl<QLabel>(this, "Image1");
    m_image2 = makeControl<QLabel>(this, "Image2");

    placeTwips(m_frame1, 120, 0, 495, 2895);
    placeTwips(m_option1, 120, 720, 255, 375);
    placeTwips(m_option2, 120, 2040, 255, 255);
    placeTwips(m_image1, 840, 120, 1935, 1320);
    placeTwips(m_image2, 840, 1560, 1935, 1320);

    // One group: at most one option is selected, and once one is, the user can only move the
    // selection. Both start unselected.
    m_options = new QButtonGroup(this);
    m_options->setExclusive(true);
    m_options->addButton(m_option1, 1);
    m_options->addButton(m_option2, 2);

    m_image1->setScaledContents(true);
    m_image2->setScaledContents(true);

    setTabOrder(m_option1, m_option2);
    m_option1->setFocus();

    // The options show no text: each is named by the picture it chooses.
    m_frame1->setAccessibleName(QStringLiteral("イベントの絵"));
    m_option1->setAccessibleName(eventSceneName(1));
    m_option2->setAccessibleName(eventSceneName(2));
    m_image1->setAccessibleName(QStringLiteral("見本: ") + eventSceneName(1));
    m_image2->setAccessibleName(QStringLiteral("見本: ") + eventSceneName(2));
}

QString HenkouForm::eventSceneName(int choice)
{
    return choice == 1 ? QStringLiteral("なんでだろ♪ 昼の舞台で泣く旅人と歌うギター弾き")
                       : QStringLiteral("なんでだろ♪ 夜の川辺で泣きながら踊る旅人とギター弾き");
}

void HenkouForm::prepareForDisplay()
{
    m_image1->setPixmap(firstFrame(QStringLiteral(":/previews/Image1.gif")));
    m_image2->setPixmap(firstFrame(QStringLiteral(":/previews/Image2.gif")));
}

void HenkouForm::loadStep()
{
    switch (ReadOptionNumber()) {
    case 1:
        m_option1->setChecked(true);
        break;
    case 2:
        m_option2->setChecked(true);
        break;
    default:
        break;
    }
}

void HenkouForm::unloadStep()
{
    if (m_option1->isChecked())
        WriteOptionNumber(1);
    else if (m_option2->isChecked())
        WriteOptionNumber(2);
    else
        WriteOptionNumber(std::nullopt);
}
