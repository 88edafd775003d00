// The tests' throwaway certificate authority (TestCertificates) for what is
// not a Qt test, such as the TLS update service of the Windows suite
// (tests/win/with-service.sh):
//
//   orvalinTestCertificates HOST FOLDER
//
// writes FOLDER/ca.pem (the authority), FOLDER/chain.pem (the server's
// certificate for HOST, the authority's after it) and FOLDER/server.key.

#include "TestCertificates.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <utility>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: orvalinTestCertificates HOST FOLDER\n");
        return 2;
    }
    const TestCertificates certificates({arguments.at(1)});
    if (!certificates.isValid()) {
        std::fprintf(stderr, "%s\n", qPrintable(certificates.errorString()));
        return 1;
    }
    const std::pair<QString, const char *> files[] = {{certificates.authorityFile(), "ca.pem"},
                                                      {certificates.serverChainFile(), "chain.pem"},
                                                      {certificates.serverKeyFile(), "server.key"}};
    for (const auto &file : files) {
        const QString to = arguments.at(2) + QLatin1Char('/') + QLatin1String(file.second);
        if (!QFile::copy(file.first, to)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(to));
            return 1;
        }
    }
    return 0;
}
