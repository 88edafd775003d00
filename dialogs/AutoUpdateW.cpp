#include "AutoUpdateW.h"
#include "ui_AutoUpdateW.h"

#include "DialogDrag.h"
#include "DialogMask.h"
#include "InstallerFileSetting.h"
#include "ProductIdentity.h"
#include "UpdateClient.h"
#include "UpdateMembers.h"
#include "UpdateProfile.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace {

// The progress figure counts steps of this many bytes, not a share of the
// installer's size.
constexpr int kBytesPerStep = 504296;

} // namespace

AutoUpdateW::AutoUpdateW(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::AutoUpdateW)
{
    ui->setupUi(this);
    DialogMask::applySquare(this);
    writtenbytes = 0;
    const QString programDir = QCoreApplication::applicationDirPath();
    const ProductIdentity identity = ProductIdentity::read(programDir);
    installfile = InstallerFileSetting::installerFile(InstallerFileSetting::updateDir(programDir));
    UpdateClient::startCheck(members(), identity);
}

AutoUpdateW::~AutoUpdateW()
{
    delete request;
    delete manager;
    delete ui;
}

UpdateMembers AutoUpdateW::members()
{
    return UpdateMembers{this, request, manager, reply, downloadurl, writtenbytes};
}

UpdateProfile AutoUpdateW::profile()
{
    UpdateProfile values;
    values.installerFile = installfile;
    // The installer starts wherever the shell puts it.
    values.workingDirectory = QString();
    values.progressDivisor = kBytesPerStep;
    // The percent sign stands in label_2.
    values.progressFormat = QStringLiteral("%d");
    values.chunkDisplay = [this](int value, const QString &text) {
        ui->rate->setValue(value);
        ui->rateno->setText(text);
    };
    const auto close = [this] { QWidget::destroy(true, true); };
    values.failedNetwork = close;
    values.failedStatus = close;
    values.noOffer = close;
    values.offer = [this](const UpdateOffer &) {
        setWindowOpacity(1.0);
        on_install_clicked();
    };
    return values;
}

void AutoUpdateW::on_closebt_clicked()
{
    QWidget::destroy(true, true);
}

void AutoUpdateW::UpdateFinished(QNetworkReply *finished)
{
    UpdateClient::replyFinished(members(), finished, profile());
}

void AutoUpdateW::writeexedata()
{
    UpdateClient::storeChunk(members(), profile());
}

void AutoUpdateW::on_install_clicked()
{
    UpdateClient::startDownload(members(), profile());
}

void AutoUpdateW::on_ok_clicked()
{
    QWidget::destroy(true, true);
}

void AutoUpdateW::on_laterbt_clicked()
{
    QWidget::destroy(true, true);
}

void AutoUpdateW::mousePressEvent(QMouseEvent *event)
{
    DialogDrag::press(this, pressed, dragoffset, event);
    QWidget::mousePressEvent(event);
}

void AutoUpdateW::mouseMoveEvent(QMouseEvent *event)
{
    DialogDrag::move(this, pressed, dragoffset, event);
    QWidget::mouseMoveEvent(event);
}

void AutoUpdateW::mouseReleaseEvent(QMouseEvent *)
{
    DialogDrag::release(pressed);
}
