#pragma once

#include "UpdateDialog.h"

#include <QString>

class QNetworkReply;

namespace Ui {
class AutoUpdateW;
}

// The update dialog that installs without asking: it checks for an update as
// soon as it is constructed, downloads an offered installer at once and starts
// it elevated. Every negative outcome closes its window; the object itself
// lives on until its owner deletes it. An owner that wants the dialog unseen
// until there is something to install shows it with an opacity below 1.0: an
// offer makes it fully opaque.
class AutoUpdateW : public UpdateDialog
{
    Q_OBJECT

public:
    explicit AutoUpdateW(QWidget *parent);
    ~AutoUpdateW() override;

    // Without a Content-Length the figure counts steps of this many bytes.
    static constexpr qint64 kBytesPerStep = 504296;

    // Names and order kept, the same as UpdateW's: the form connects
    // on_closebt_clicked by name, and the converter and tests reach every slot
    // by name or meta-object index.
private slots:
    void on_closebt_clicked() { closeWindow(); }
    // The session's replies and chunks reach it by themselves; these two serve
    // a caller that names them.
    void UpdateFinished(QNetworkReply *finished) { session->replyFinished(finished); }
    void writeexedata() { session->storeChunk(); }
    // Called on an offer; the form has no install button.
    void on_install_clicked();
    // The form has no widgets of these names: reached by name only.
    void on_ok_clicked() { closeWindow(); }
    void on_laterbt_clicked() { closeWindow(); }

private:
    Ui::AutoUpdateW *ui;
    // The installer's file: in the folder convert.ini names, or the default.
    QString installfile;
};
