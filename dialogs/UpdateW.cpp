#include "UpdateW.h"
#include "ui_UpdateW.h"

#include "DialogDrag.h"
#include "DialogMask.h"
#include "InstallerLocation.h"
#include "UpdateClient.h"

#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScrollBar>

UpdateW::UpdateW(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::UpdateW)
    , pressed(false)
    , dragoffset(0, 0)
    , request(nullptr)
    , manager(nullptr)
    , reply(nullptr)
    , writtenbytes(0)
{
    ui->setupUi(this);
    DialogMask::applySquare(this);
    writtenbytes = 0;
    ui->updaterate->setVisible(false);
    UpdateClient::startCheck(members());
    ui->updateversion->verticalScrollBar()->setStyleSheet(
            QStringLiteral("QScrollBar{background:transparent; width: 10px;}"
                           "QScrollBar::handle{background:lightgray; border:2px solid transparent; border-radius:5px;}"
                           "QScrollBar::handle:hover{background:gray;}"
                           "QScrollBar::sub-line{background:transparent;}"
                           "QScrollBar::add-line{background:transparent;}"));
}

UpdateW::~UpdateW()
{
    delete request;
    // Ends a transfer that is still running together with its reply.
    delete manager;
    delete ui;
}

UpdateMembers UpdateW::members()
{
    return UpdateMembers{this, request, manager, reply, downloadurl, writtenbytes};
}

UpdateProfile UpdateW::profile()
{
    UpdateProfile p;
    p.installerFile = InstallerLocation::file();
    p.workingDirectory = InstallerLocation::folder();
    p.progressDivisor = 1000000;
    p.progressFormat = QStringLiteral("%d%");

    p.startDisplay = [this] {
        ui->install->setEnabled(false);
        ui->updaterate->setVisible(true);
        ui->updaterate->raise();
    };
    p.chunkDisplay = [this](int value, const QString &text) {
        ui->rate->setValue(value);
        ui->rateno->setText(text);
        ui->downloadinfo->setText(QStringLiteral("正在下载，请稍后..."));
    };
    p.completionDisplay = [this] {
        ui->downloadinfo->setText(QStringLiteral("正在安装，请稍后..."));
        ui->rateno->setText(QStringLiteral("70%"));
        ui->rate->setValue(70);
    };
    p.endDisplay = [this] { ui->install->setEnabled(true); };

    // Failures close the window without a word; the object and any transfer
    // still running live on.
    p.failedNetwork = [this] {
        ui->install->setEnabled(true);
        destroy(true, true);
    };
    p.failedStatus = [this] {
        destroy(true, true);
        ui->install->setEnabled(true);
    };
    p.noOffer = [this] { destroy(true, true); };
    p.offer = [this](const UpdateOffer &offer) {
        ui->fupdate->setVisible(true);
        ui->updateversion->insertPlainText(offer.notes);
        ui->updateinfo->setText(QStringLiteral("v") + offer.version);
        // The owner may have kept the dialog transparent until now.
        setWindowOpacity(1.0);
    };
    return p;
}

void UpdateW::on_closebt_clicked()
{
    destroy(true, true);
}

void UpdateW::UpdateFinished(QNetworkReply *finished)
{
    UpdateClient::replyFinished(members(), finished, profile());
}

void UpdateW::writeexedata()
{
    UpdateClient::storeChunk(members(), profile());
}

void UpdateW::on_install_clicked()
{
    UpdateClient::startDownload(members(), profile());
}

void UpdateW::on_ok_clicked()
{
    destroy(true, true);
}

void UpdateW::on_laterbt_clicked()
{
    destroy(true, true);
}

void UpdateW::mousePressEvent(QMouseEvent *event)
{
    DialogDrag::press(this, pressed, dragoffset, event);
    QWidget::mousePressEvent(event);
}

void UpdateW::mouseMoveEvent(QMouseEvent *event)
{
    DialogDrag::move(this, pressed, dragoffset, event);
    QWidget::mouseMoveEvent(event);
}

void UpdateW::mouseReleaseEvent(QMouseEvent *)
{
    DialogDrag::release(pressed);
}
