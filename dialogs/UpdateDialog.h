#pragma once

#include "UpdateSession.h"

#include <QDialog>
#include <QPoint>

#include <functional>

class QMouseEvent;
struct ProductIdentity;

// What the two update dialogs share besides their forms: the view of one
// UpdateSession, a frameless window that follows the mouse, and closing by
// destroying the native window.
//
// No Q_OBJECT here, on purpose: each dialog's meta-object then lists its own
// slots, in declaration order, right after QDialog's, as callers that reach
// them by index expect; QMetaObject::connectSlotsByName connects the forms'
// buttons to the on_<object>_<signal> slots by name alone.
class UpdateDialog : public QDialog
{
public:
    // A dialog's reaction to each outcome of its session; an entry left empty
    // ignores that outcome.
    struct Reactions
    {
        std::function<void(const UpdateOffer &offer)> offered;
        std::function<void()> noOffer;
        std::function<void(UpdateSession::Failure failure)> failed; // of the check or of the download
        std::function<void()> downloadStarted;
        std::function<void(int progress)> chunkStored;
        std::function<void()> downloadFinished;
        std::function<void()> installerStarted;
        std::function<void()> installerRefused;
    };

protected:
    explicit UpdateDialog(QWidget *parent);

    // Once the form is set up: masks the window at the size the form gave it
    // (all of it stays visible), binds `reactions` to the session's outcomes
    // and posts the check.
    void startSession(const ProductIdentity &identity, const Reactions &reactions);

    // Destroys the native window and those of the children. The dialog object
    // stays, and so do the session and any transfer in progress.
    void closeWindow() { destroy(true, true); }

    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

    UpdateSession *session;
    bool pressed = false;
    QPoint dragoffset;
};
