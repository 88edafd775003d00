#include "AutoUpdateW.h"
#include "ui_AutoUpdateW.h"

#include "InstallerFileSetting.h"
#include "ProductIdentity.h"

#include <QCoreApplication>

AutoUpdateW::AutoUpdateW(QWidget *parent)
    : UpdateDialog(parent)
    , ui(new Ui::AutoUpdateW)
{
    ui->setupUi(this);
    const QString programDir = QCoreApplication::applicationDirPath();
    const ProductIdentity identity = ProductIdentity::read(programDir);
    installfile = InstallerFileSetting::installerFile(InstallerFileSetting::updateDir(programDir));

    // Every failure (a refused installer start included) and an answer
    // without an offer close the window; an offer is installed at once. The
    // figure has no percent sign: label_2 carries it.
    Reactions table;
    table.offered = [this](const UpdateOffer &) {
        setWindowOpacity(1.0);
        on_install_clicked();
    };
    table.noOffer = [this] { closeWindow(); };
    table.failed = [this](UpdateSession::Failure) { closeWindow(); };
    table.installerRefused = [this] { closeWindow(); };
    table.chunkStored = [this](int progress) {
        ui->rate->setValue(progress);
        ui->rateno->setText(QString::number(progress));
    };
    startSession(identity, table);
}

AutoUpdateW::~AutoUpdateW()
{
    delete ui;
}

void AutoUpdateW::on_install_clicked()
{
    // The installer starts wherever the shell puts it: no working directory.
    session->startDownload({installfile, QString(), kBytesPerStep});
}
