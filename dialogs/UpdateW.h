#pragma once

#include "UpdateDialog.h"

class QNetworkReply;

namespace Ui {
class UpdateW;
}

// Offers a new version of the product. Constructing the dialog posts the
// update check; on an offer it shows the version and the release notes and
// installs on request (download, then elevated start of the installer). With
// no offer, or when the exchange fails, it destroys its own native window and
// stays alive until its owner deletes it.
//
// The owner chooses the window flags and when to show the dialog; keeping it
// nearly transparent until an offer arrives works, since an offer raises the
// opacity to 1.0.
class UpdateW : public UpdateDialog
{
    Q_OBJECT

public:
    explicit UpdateW(QWidget *parent);
    ~UpdateW() override;

    // Without a Content-Length the progress figure counts whole millions of
    // bytes.
    static constexpr qint64 kBytesPerStep = 1000000;

    // Names and order kept: the form connects on_<button>_clicked by name, and
    // the converter and tests reach every slot by name or meta-object index.
private slots:
    void on_closebt_clicked();
    void UpdateFinished(QNetworkReply *finished);
    void writeexedata();
    void on_install_clicked();
    void on_ok_clicked();
    void on_laterbt_clicked();

private:
    Reactions reactions();

    // Form names kept although misleading (tests and style sheets use them):
    // updateversion is the release-notes box,
    // updateinfo is the version label.
    Ui::UpdateW *ui;
};
