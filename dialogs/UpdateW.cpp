#include "UpdateW.h"
#include "ui_UpdateW.h"

#include "InstallerLocation.h"
#include "ProductIdentity.h"

#include <QCoreApplication>
#include <QScrollBar>

UpdateW::UpdateW(QWidget *parent)
    : UpdateDialog(parent)
    , ui(new Ui::UpdateW)
{
    ui->setupUi(this);
    ui->updaterate->setVisible(false);
    // The version comes from the update service: shown as text, never as
    // markup (an image in it would be fetched from wherever it points).
    ui->updateinfo->setTextFormat(Qt::PlainText);
    startSession(ProductIdentity::read(QCoreApplication::applicationDirPath()), reactions());
    ui->updateversion->verticalScrollBar()->setStyleSheet(
            QStringLiteral("QScrollBar{background:transparent; width: 10px;}"
                           "QScrollBar::handle{background:lightgray; border:2px solid transparent; border-radius:5px;}"
                           "QScrollBar::handle:hover{background:gray;}"
                           "QScrollBar::sub-line{background:transparent;}"
                           "QScrollBar::add-line{background:transparent;}"));
#if QT_CONFIG(accessibility)
    // Not in the form: named here, as Windows names an edit box's own.
    ui->updateversion->verticalScrollBar()->setAccessibleName(QStringLiteral("垂直滚动条"));
    ui->updateversion->horizontalScrollBar()->setAccessibleName(QStringLiteral("水平滚动条"));
#endif
}

UpdateW::~UpdateW()
{
    delete ui;
}

// What the dialog shows for each outcome of its session.
UpdateDialog::Reactions UpdateW::reactions()
{
    Reactions r;
    r.offered = [this](const UpdateOffer &offer) {
        ui->fupdate->setVisible(true);
        ui->updateversion->insertPlainText(offer.notes);
        ui->updateinfo->setText(QStringLiteral("v") + offer.version);
        // The owner may have kept the dialog transparent until now.
        setWindowOpacity(1.0);
    };
    r.noOffer = [this] { closeWindow(); };
    // Failures close the window without a word; the install button comes back.
    r.failed = [this](UpdateSession::Failure) {
        ui->install->setEnabled(true);
        closeWindow();
    };
    r.downloadStarted = [this] {
        ui->install->setEnabled(false);
        ui->updaterate->setVisible(true);
        ui->updaterate->raise();
    };
    r.chunkStored = [this](int progress) {
        ui->rate->setValue(progress);
        ui->rateno->setText(QString::number(progress) + QLatin1Char('%'));
        ui->downloadinfo->setText(QStringLiteral("正在下载，请稍后..."));
    };
    r.downloadFinished = [this] {
        ui->downloadinfo->setText(QStringLiteral("正在安装，请稍后..."));
        ui->rateno->setText(QStringLiteral("70%"));
        ui->rate->setValue(70);
    };
    r.installerStarted = [this] { ui->install->setEnabled(true); };
    // Nothing is installing: back to the offer, to try again.
    r.installerRefused = [this] {
        ui->downloadinfo->setText(QStringLiteral("正在下载，请稍后..."));
        ui->updaterate->setVisible(false);
        ui->install->setEnabled(true);
    };
    return r;
}

void UpdateW::on_closebt_clicked()
{
    closeWindow();
}

void UpdateW::UpdateFinished(QNetworkReply *finished)
{
    session->replyFinished(finished);
}

void UpdateW::writeexedata()
{
    session->storeChunk();
}

void UpdateW::on_install_clicked()
{
    session->startDownload({InstallerLocation::file(), InstallerLocation::folder(), kBytesPerStep});
}

void UpdateW::on_ok_clicked()
{
    closeWindow();
}

void UpdateW::on_laterbt_clicked()
{
    closeWindow();
}
