#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

class QMouseEvent;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
struct UpdateMembers;
struct UpdateProfile;

namespace Ui {
class AutoUpdateW;
}

// The update dialog that installs without asking: it checks for an update as
// soon as it is constructed, downloads an offered installer at once and starts
// it elevated. Every negative outcome closes its window; the object itself
// lives on until its owner deletes it. An owner that wants the dialog unseen
// until there is something to install shows it with an opacity below 1.0: an
// offer makes it fully opaque.
class AutoUpdateW : public QDialog
{
    Q_OBJECT

public:
    explicit AutoUpdateW(QWidget *parent);
    ~AutoUpdateW() override;

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

    Ui::AutoUpdateW *ui;
    bool pressed = false;
    QPoint dragoffset;
    QNetworkRequest *request = nullptr;
    QNetworkAccessManager *manager = nullptr;
    QNetworkReply *reply = nullptr;
    QString downloadurl;
    qint64 writtenbytes = 0;
    QString installfile;
};
