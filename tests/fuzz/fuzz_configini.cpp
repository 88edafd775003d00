// config.ini as the input, read by the client's own reading (gb2312), then
// turned into the check request as the client posts it.

#include "CheckExchange.h"
#include "FuzzSupport.h"
#include "ProductIdentity.h"

#include <QJsonDocument>
#include <QJsonObject>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString folder = FuzzSupport::freshFolder();
    FUZZ_CHECK(
            FuzzSupport::writeFile(folder + QStringLiteral("/config.ini"), reinterpret_cast<const char *>(data), size));
    const ProductIdentity identity = ProductIdentity::read(folder);
    FuzzSupport::removeFolder(folder);

    // Whatever the file held, the request stays one JSON object whose values
    // are the identity's texts as UTF-8 carries them.
    const QByteArray body = CheckExchange::requestBody(identity, 1700000000);
    FUZZ_CHECK(!body.contains('\n') && !body.contains('\r'));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError);
    FUZZ_CHECK(document.isObject());
    const QJsonObject request = document.object();
    const auto wire = [](const QString &text) {
        const QByteArray utf8 = text.toUtf8();
        return QString::fromUtf8(utf8.constData(), utf8.size()); // past any NUL
    };
    FUZZ_CHECK(request.size() == 7);
    FUZZ_CHECK(request.value(QStringLiteral("software_name")).toString() == wire(identity.urlName));
    FUZZ_CHECK(request.value(QStringLiteral("software_version")).toString() == wire(identity.version));
    FUZZ_CHECK(request.value(QStringLiteral("software_package")).toString() == wire(identity.setupName));
    FUZZ_CHECK(request.value(QStringLiteral("machine_code")).toString() == QLatin1String("1700000000"));
    return 0;
}
