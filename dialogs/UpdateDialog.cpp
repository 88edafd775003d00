#include "UpdateDialog.h"

#include "DialogDrag.h"
#include "DialogMask.h"

#include <QMouseEvent>

UpdateDialog::UpdateDialog(QWidget *parent)
    : QDialog(parent)
    , session(new UpdateSession(this))
{}

void UpdateDialog::startSession(const ProductIdentity &identity, const Reactions &r)
{
    DialogMask::applySquare(this);
    const auto bind = [this](auto signal, const auto &reaction) {
        if (reaction)
            connect(session, signal, this, reaction);
    };
    bind(&UpdateSession::offered, r.offered);
    bind(&UpdateSession::noOffer, r.noOffer);
    bind(&UpdateSession::checkFailed, r.failed);
    bind(&UpdateSession::downloadStarted, r.downloadStarted);
    bind(&UpdateSession::chunkStored, r.chunkStored);
    bind(&UpdateSession::downloadFailed, r.failed);
    bind(&UpdateSession::downloadFinished, r.downloadFinished);
    bind(&UpdateSession::installerStarted, r.installerStarted);
    bind(&UpdateSession::installerRefused, r.installerRefused);
    session->startCheck(identity);
}

void UpdateDialog::mousePressEvent(QMouseEvent *event)
{
    DialogDrag::press(this, pressed, dragoffset, event);
    QWidget::mousePressEvent(event);
}

void UpdateDialog::mouseMoveEvent(QMouseEvent *event)
{
    DialogDrag::move(this, pressed, dragoffset, event);
    QWidget::mouseMoveEvent(event);
}

void UpdateDialog::mouseReleaseEvent(QMouseEvent *)
{
    DialogDrag::release(pressed);
}
