#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

struct UpdateMembers;
struct UpdateProfile;

class QMouseEvent;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

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
class UpdateW : public QDialog
{
    Q_OBJECT

public:
    explicit UpdateW(QWidget *parent);
    ~UpdateW() override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private slots:
    void on_closebt_clicked();
    void UpdateFinished(QNetworkReply *finished);
    void writeexedata();
    void on_install_clicked();
    void on_ok_clicked();
    void on_laterbt_clicked();

private:
    UpdateMembers members();
    UpdateProfile profile();

    Ui::UpdateW *ui;
    bool pressed;
    QPoint dragoffset;
    QNetworkRequest *request;
    QNetworkAccessManager *manager;
    QNetworkReply *reply;
    QString downloadurl;
    qint64 writtenbytes;
};
