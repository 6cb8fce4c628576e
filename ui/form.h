// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window kit (ui/) that every window of the program, the main window and the four dialogs,
// is built on, on Qt Widgets alone. It knows nothing of the settings, the mail library, the
// scenes or any one window.
//
// The program's five windows share one lifetime. Each is one shared instance for the whole run,
// either not loaded, or loaded (hidden or shown):
//  - FormSlot<T>::get() loads the window hidden when it is not loaded, running its loadStep();
//    reading or setting a control goes through get(), so it loads the window first;
//  - closing a window (its OK or Cancel, Esc where it has a cancel button, or the close box)
//    runs its unloadStep() and destroys it; the next get() loads a fresh one;
//  - at program exit the slots destroy what is still loaded without running unloadStep().
// A window declares only its controls and its two steps.
//
// The load also applies the keyboard rules every window shares (keyboard.h).
#include "ui/keyboard.h"
#include "ui/twips.h"

// QPointer needs the complete button type wherever this header is included.
#include <QAbstractButton>
#include <QIcon>
#include <QPointer>
#include <QWidget>
#include <functional>

// The program's icon: the application's once it has one, so that every window shares one
// decoded copy; otherwise read from the resources.
QIcon programIcon();

class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(QWidget *parent = nullptr);
    ~Form() override;

    // Runs loadStep() once; FormSlot calls it right after construction.
    void load();
    // Shows the window modeless and without owner, and brings it to the front. The first
    // showing after a load centres it on the screen.
    void showForm();
    // Runs unloadStep() and destroys the window (later, so a handler may call it on itself).
    void unloadForm();
    bool isUnloaded() const { return m_unloaded; }

    // A fixed client area in twips.
    void setClientSizeTwips(int width, int height);

protected:
    virtual void loadStep() { }
    virtual void unloadStep() { }
    // Runs once, when the window is first shown and before it is painted: what only a visible
    // window needs. Start-up loads some windows hidden; they skip this until they are shown.
    virtual void prepareForDisplay() { }
    // fitCaptionToWidth() for every control of the window.
    void fitCaptions();

    // Enter presses the default button (or the focused push button); Esc presses the cancel
    // button. A window without a cancel button ignores Esc.
    void setDefaultButton(QAbstractButton *button) { m_defaultButton = button; }
    void setCancelButton(QAbstractButton *button) { m_cancelButton = button; }

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPointer<QAbstractButton> m_defaultButton;
    QPointer<QAbstractButton> m_cancelButton;
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_centred = false;
    bool m_prepared = false;
};

template<class T> class FormSlot {
public:
    using Factory = std::function<T *()>;
    explicit FormSlot(Factory factory = [] { return new T; })
        : m_factory(std::move(factory))
    {
    }
    ~FormSlot() { destroyWithoutUnload(); }
    FormSlot(const FormSlot &) = delete;
    FormSlot &operator=(const FormSlot &) = delete;

    bool isLoaded() const { return m_form && !m_form->isUnloaded(); }

    T &get()
    {
        if (!isLoaded()) {
            m_form = m_factory();
            m_form->load();
        }
        return *m_form;
    }

    T &show()
    {
        T &form = get();
        form.showForm();
        return form;
    }

    // Program exit: the window goes without its unload step. One that was closed but not yet
    // destroyed (its deletion waits for an event loop that has ended) goes too.
    void destroyWithoutUnload()
    {
        delete m_form.data();
        m_form = nullptr;
    }

private:
    Factory m_factory;
    QPointer<T> m_form;
};
