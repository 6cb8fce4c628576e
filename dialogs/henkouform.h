// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The image selection dialog: Option1 and Option2 choose which of the two event pictures the
// event scene shows, each beside a still preview. The options are the live holders of the
// choice; closing the dialog stores it as NUMBER.
#include "ui/form.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QRadioButton;

class HenkouForm : public Form {
    Q_OBJECT
public:
    explicit HenkouForm(QWidget *parent = nullptr);

    // What event picture 1 or 2 shows, as a screen reader reads it: the options, their
    // previews and the main window's scene pane are named by it.
    static QString eventSceneName(int choice);

    QGroupBox *Frame1() const { return m_frame1; }
    QRadioButton *Option1() const { return m_option1; }
    QRadioButton *Option2() const { return m_option2; }
    QLabel *Image1() const { return m_image1; }
    QLabel *Image2() const { return m_image2; }

protected:
    void loadStep() override;
    void unloadStep() override;
    // The previews are decoded only when the dialog is shown: start-up loads it hidden to
    // read the choice.
    void prepareForDisplay() override;

private:
    QGroupBox *m_frame1;
    QRadioButton *m_option1;
    QRadioButton *m_option2;
    QButtonGroup *m_options;
    QLabel *m_image1;
    QLabel *m_image2;
};
